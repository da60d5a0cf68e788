#include "run_later.h"

#include <windows.h>

#include <map>
#include <utility>

namespace zelkor {

namespace {

// A thread timer's callback gets no context but the timer's ID.
std::map<UINT_PTR, std::function<void()>> g_tasks;

void CALLBACK RunTask(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    const auto it = g_tasks.find(timer);
    if (it == g_tasks.end()) return;
    const std::function<void()> task = std::move(it->second);
    g_tasks.erase(it);
    task();
}

}  // namespace

void RunLater(int delayMs, std::function<void()> task) {
    const UINT_PTR timer = SetTimer(nullptr, 0, static_cast<UINT>(delayMs), RunTask);
    if (timer != 0) g_tasks[timer] = std::move(task);
}

void CancelLaterTasks() {
    for (const auto& entry : g_tasks) KillTimer(nullptr, entry.first);
    g_tasks.clear();
}

}  // namespace zelkor
