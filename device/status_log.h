// The status log: the panel registers a view while it is open; without one,
// clearing and appending do nothing and transactions still run.
#pragma once

#include <string>

namespace zelkor {

class LogView {
public:
    virtual ~LogView() = default;
    virtual void Clear() = 0;
    // Adds text after what the view holds (the panel inserts at the log's
    // caret, which a clear puts at the end); lines after the first start
    // with "\r\n".
    virtual void Append(const std::wstring& text) = 0;
};

// nullptr removes the view.
void SetLogView(LogView* view);
LogView* CurrentLogView();

void LogClear();
void LogAppend(const std::wstring& text);

}  // namespace zelkor
