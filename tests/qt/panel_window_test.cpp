// The Qt panel against the simulated receiver: what the user does in the
// window, and what crosses the wire because of it.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "demo_receiver.h"
#include "device_watcher.h"
#include "dialog_units.h"
#include "events.h"
#include "hid.h"
#include "panel_window.h"
#include "pause.h"
#include "resource.h"
#include "simulated.h"
#include "spinner_bar.h"
#include "trace.h"

using namespace zelkor;
using namespace zelkor::qt;

namespace {

const QStringList kRefreshReads = {"99", "a2", "a6", "96", "9a", "9d", "66"};
const QString kRangeMessage = "Target frequency must be between 100 and 2500000";

std::vector<std::string> g_wire;  // trace lines, in order

}  // namespace

class PanelWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SimulatedHid> sim_;
    std::unique_ptr<TraceHid> trace_;
    std::unique_ptr<PanelWindow> window_;
    PauseFunction previousPause_ = nullptr;

    // Opens the panel as the program does: initialisation, then shown.
    void Open() {
        window_ = std::make_unique<PanelWindow>();
        window_->Initialize();
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }

    template <typename T>
    T* Get(int id) {
        return qobject_cast<T*>(window_->Control(id));
    }
    QString Text(int id) { return QString::fromStdWString(window_->DialogSeam().GetItemText(id, 4096)); }
    QStringList LogLines() { return Get<QPlainTextEdit>(IDC_LOG)->toPlainText().split('\n'); }

    // The first `bytes` bytes after the report ID of every output report.
    static QStringList Sent(int bytes) {
        QStringList heads;
        for (const std::string& line : g_wire)
            if (line.rfind("> ", 0) == 0) heads << QString::fromStdString(line.substr(5, bytes * 3 - 1));
        return heads;
    }
    static QStringList SentCodes() { return Sent(1); }

    // Answers the next message box after `whileOpen` ran, noting what it said.
    struct BoxSeen {
        int count = 0;
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };
    QTimer boxTimer_;
    void AnswerMessageBoxes(BoxSeen* seen, std::function<void()> whileOpen = {}) {
        boxTimer_.disconnect();
        boxTimer_.setInterval(5);
        connect(&boxTimer_, &QTimer::timeout, this, [seen, whileOpen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            ++seen->count;
            seen->caption = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->icon();
            if (whileOpen) whileOpen();
            box->button(QMessageBox::Ok)->click();
        });
        boxTimer_.start();
    }

    // Clicks one of the spinner's arrows (or its thumb) as the user does.
    static void ClickSpinner(SpinnerBar* bar, QStyle::SubControl part, Qt::KeyboardModifiers modifiers) {
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.subControls = QStyle::SC_All;
        option.orientation = Qt::Vertical;
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        const QRect rect = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                        part, bar);
        QVERIFY2(rect.isValid(), "the spinner has no such part");
        QTest::mouseClick(bar, Qt::LeftButton, modifiers, rect.center());
    }

private slots:
    void init() {
        g_wire.clear();
        sim_ = std::make_unique<SimulatedHid>();
        trace_ = std::make_unique<TraceHid>(*sim_, [](const std::string& line) { g_wire.push_back(line); });
        SetHidBackend(trace_.get());
        previousPause_ = SetPauseFunction([](unsigned) {});
    }

    void cleanup() {
        boxTimer_.stop();
        boxTimer_.disconnect();
        window_.reset();
        QCOMPARE(g_hDlg, nullptr);
        SetPauseFunction(previousPause_);
        SetHidBackend(nullptr);
        trace_.reset();
        sim_.reset();
    }

    void layoutFollowsTheTemplate() {
        Open();
        const BaseUnits units = window_->Units();
        QCOMPARE(window_->windowTitle(), QString("Zelkor Control V2.0"));
        QCOMPARE(window_->size(), QSize(MulDiv(401, units.cx, 4), MulDiv(202, units.cy, 8)));
        QCOMPARE(window_->pos(), QPoint(0, 0));
        QCOMPARE(Get<QPlainTextEdit>(IDC_LOG)->geometry(), DialogUnitsToPixels(units, 209, 7, 182, 57));
        QCOMPARE(window_->findChild<QWidget*>("IDC_IF_GAIN_SPIN"), window_->Control(IDC_IF_GAIN_SPIN));

        auto* diagram = Get<QLabel>(IDC_DIAGRAM);
        QCOMPARE(diagram->pixmap().size(), QSize(455, 149));
        QCOMPARE(diagram->geometry(), QRect(DialogUnitsToPixels(units, 7, 67, 0, 0).topLeft(), QSize(455, 149)));

        // Only displays are disabled; the check boxes for LNA and mixer carry no text.
        for (int id : {IDC_RF_FILTER, IDC_IF_FILTER, IDC_IF_GAIN_VALUE, IDC_CURRENT_FREQUENCY})
            QVERIFY2(!window_->Control(id)->isEnabled(), qPrintable(window_->Control(id)->objectName()));
        QVERIFY(Get<QCheckBox>(IDC_LNA_ENABLE)->text().isEmpty());
        QCOMPARE(Get<QPushButton>(IDC_SET_FREQUENCY)->text(), QString("Set &frequency"));
        QVERIFY(Get<QPushButton>(IDC_SET_FREQUENCY)->isDefault());

        // Tab order is template order, over the controls that take focus.
        QStringList order;
        QWidget* first = window_->Control(IDC_FREQUENCY);
        QWidget* w = first;
        do {
            if (w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && w->window() == window_.get())
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != first);
        QCOMPARE(order, QStringList({"IDC_FREQUENCY", "IDC_SET_FREQUENCY", "IDC_EXIT", "IDC_LOG",
                                     "IDC_SET_DEFAULTS", "IDC_BIAS_T", "IDC_LNA_ENABLE", "IDC_MIXER_GAIN",
                                     "IDC_BOOTLOADER"}));

        // The entry: digits 48 pixels high (the font's cell), green on black, right-aligned.
        auto* entry = Get<QLineEdit>(IDC_FREQUENCY);
        const QFontMetricsF metrics(entry->font());
        QVERIFY2(qAbs(metrics.ascent() + metrics.descent() - 48) < 1.0, "cell height is not 48 pixels");
        QCOMPARE(entry->palette().color(QPalette::Text), QColor(0, 255, 0));
        QCOMPARE(entry->palette().color(QPalette::Base), QColor(0, 0, 0));
        QVERIFY(entry->alignment() & Qt::AlignRight);
    }

    void dialogUnitsRoundLikeMulDiv() {
        QCOMPARE(MulDiv(7, 6, 4), 11);     // 10.5 rounds up
        QCOMPARE(MulDiv(-7, 6, 4), -11);   // and away from zero
        QCOMPARE(MulDiv(202, 13, 8), 328); // 328.25
        QCOMPARE(MulDiv(67, 13, 8), 109);  // 108.875
        QCOMPARE(DialogUnitsToPixels(BaseUnits{6, 13}, 209, 7, 182, 57), QRect(314, 11, 273, 93));
    }

    void refreshShowsWhatTheReceiverReports_data() {
        QTest::addColumn<int>("rf");
        QTest::addColumn<int>("ifFilter");
        QTest::addColumn<int>("bias");
        QTest::addColumn<int>("lna");
        QTest::addColumn<int>("mixer");
        QTest::addColumn<int>("gain");
        QTest::addColumn<uint>("hertz");
        QTest::addColumn<QString>("rfText");
        QTest::addColumn<QString>("ifText");
        QTest::newRow("defaults") << 5 << 0 << 0 << 1 << 1 << 0 << 100000000u << "75MHz-125MHz" << "200kHz";
        QTest::newRow("last band, high frequency")
            << 10 << 3 << 1 << 0 << 1 << 37 << 3000000000u << "875MHz-1900MHz" << "1536kHz";
        QTest::newRow("unknown IF code") << 0 << 9 << 1 << 1 << 0 << 59 << 100000u << "150kHz-4MHz" << "";
    }
    void refreshShowsWhatTheReceiverReports() {
        QFETCH(int, rf);
        QFETCH(int, ifFilter);
        QFETCH(int, bias);
        QFETCH(int, lna);
        QFETCH(int, mixer);
        QFETCH(int, gain);
        QFETCH(uint, hertz);
        QFETCH(QString, rfText);
        QFETCH(QString, ifText);
        FirmwareSettings& s = sim_->Settings();
        s.rfFilter = rf;
        s.ifFilter = ifFilter;
        s.biasT = bias;
        s.lna = lna;
        s.mixerGain = mixer;
        s.ifGain = gain;
        s.frequencyHz = hertz;
        Open();

        QCOMPARE(SentCodes(), kRefreshReads);
        QCOMPARE(Get<QComboBox>(IDC_RF_FILTER)->count(), 11);
        QCOMPARE(Get<QComboBox>(IDC_IF_FILTER)->count(), 8);
        QCOMPARE(Get<QComboBox>(IDC_RF_FILTER)->currentText(), rfText);
        QCOMPARE(Get<QComboBox>(IDC_IF_FILTER)->currentText(), ifText);
        QCOMPARE(Get<QComboBox>(IDC_IF_FILTER)->currentIndex() == -1, ifText.isEmpty());
        QCOMPARE(Get<QCheckBox>(IDC_BIAS_T)->isChecked(), bias != 0);
        QCOMPARE(Get<QCheckBox>(IDC_LNA_ENABLE)->isChecked(), lna != 0);
        QCOMPARE(Get<QCheckBox>(IDC_MIXER_GAIN)->isChecked(), mixer != 0);
        QCOMPARE(Get<QScrollBar>(IDC_IF_GAIN_SPIN)->value(), gain);
        QCOMPARE(Text(IDC_IF_GAIN_VALUE), QString::number(gain));
        QCOMPARE(Text(IDC_CURRENT_FREQUENCY), QString::number(hertz));
        // The log keeps the last transaction only, one line per step.
        QCOMPARE(LogLines().size(), 4);
        QCOMPARE(LogLines().first(), QString("HIDOpen of Vid_04d8&Pid_fb31 returns 1"));
    }

    void logInsertsAtTheCaret() {
        Open();
        auto* log = Get<QPlainTextEdit>(IDC_LOG);
        window_->DialogSeam().SetItemText(IDC_LOG, L"first\r\nthird");
        QTextCursor cursor(log->document());
        cursor.setPosition(5);  // after "first"
        log->setTextCursor(cursor);
        window_->DialogSeam().ReplaceSelection(IDC_LOG, L"\r\nsecond");
        QCOMPARE(log->toPlainText(), QString("first\nsecond\nthird"));
        // Clearing puts the caret at the start; appends then follow each other.
        window_->DialogSeam().SetItemText(IDC_LOG, L"");
        window_->DialogSeam().ReplaceSelection(IDC_LOG, L"a");
        window_->DialogSeam().ReplaceSelection(IDC_LOG, L"\r\nb");
        QCOMPARE(Text(IDC_LOG), QString("a\r\nb"));
        QCOMPARE(log->toPlainText(), QString("a\nb"));
    }

    void receiverAbsentAtStartShowsNotFoundAndZeros() {
        sim_->Settings().biasT = 1;
        sim_->Settings().ifGain = 12;
        sim_->SetPresent(false);
        Open();

        QCOMPARE(Text(IDC_LOG), QString("HIDOpen of Vid_04d8&Pid_fb31 returns 0\r\n"
                                        "Error, Zelkor not found: is Zelkor correctly installed?"));
        QCOMPARE(LogLines().size(), 2);
        QCOMPARE(Get<QComboBox>(IDC_RF_FILTER)->currentText(), QString("150kHz-4MHz"));
        QCOMPARE(Get<QComboBox>(IDC_IF_FILTER)->currentText(), QString("200kHz"));
        for (int id : {IDC_BIAS_T, IDC_LNA_ENABLE, IDC_MIXER_GAIN}) QVERIFY(!Get<QCheckBox>(id)->isChecked());
        QCOMPARE(Text(IDC_IF_GAIN_VALUE), QString("0"));
        QCOMPARE(Text(IDC_CURRENT_FREQUENCY), QString("0"));
        QVERIFY(Sent(1).isEmpty());
    }

    void enterAnywhereTunes_data() {
        QTest::addColumn<int>("focus");
        QTest::newRow("in the entry") << IDC_FREQUENCY;
        QTest::newRow("on a check box") << IDC_BIAS_T;
        QTest::newRow("in the log") << IDC_LOG;
    }
    void enterAnywhereTunes() {
        QFETCH(int, focus);
        Open();
        auto* entry = Get<QLineEdit>(IDC_FREQUENCY);
        entry->setFocus();
        QTest::keyClicks(entry, "145000");
        g_wire.clear();
        QWidget* target = window_->Control(focus);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);

        // 145000 kHz as hertz, little-endian, then the refresh's seven reads.
        QCOMPARE(Sent(5).value(0), QString("65 40 86 a4 08"));
        QCOMPARE(SentCodes().mid(1), kRefreshReads);
        QCOMPARE(Text(IDC_CURRENT_FREQUENCY), QString("145000000"));
        QCOMPARE(Get<QComboBox>(IDC_RF_FILTER)->currentText(), QString("144MHz-146MHz"));
        QCOMPARE(LogLines().last(), QString("Success, Zelkor frequency set."));
        QVERIFY(window_->isVisible());
    }

    void entryTakesDigitKeysButPastedTextAsItIs() {
        Open();
        auto* entry = Get<QLineEdit>(IDC_FREQUENCY);
        entry->setFocus();
        QTest::keyClicks(entry, "1a4 -5.x");
        QCOMPARE(entry->text(), QString("145"));
        // A paste is not filtered; the conversion skips the space and sign.
        entry->clear();
        entry->insert(" +150");
        g_wire.clear();
        QTest::keyClick(entry, Qt::Key_Enter);
        QCOMPARE(Sent(5).value(0), QString("65 f0 49 02 00"));  // 150000 Hz
    }

    void invalidEntryWarnsAndSendsNothing_data() {
        QTest::addColumn<QString>("entry");
        QTest::newRow("empty") << "";
        QTest::newRow("below range") << "99";
        QTest::newRow("above range") << "2500001";
        QTest::newRow("negative") << "-5";
        QTest::newRow("sign only") << " +";
        QTest::newRow("30 digits saturate") << QString(30, '1');
    }
    void invalidEntryWarnsAndSendsNothing() {
        QFETCH(QString, entry);
        Open();
        Get<QLineEdit>(IDC_FREQUENCY)->setText(entry);
        const QString logBefore = Text(IDC_LOG);
        g_wire.clear();
        BoxSeen seen;
        AnswerMessageBoxes(&seen);
        QTest::keyClick(window_->Control(IDC_FREQUENCY), Qt::Key_Return);

        QCOMPARE(seen.count, 1);
        QCOMPARE(seen.caption, QString("Error"));
        QCOMPARE(seen.text, kRangeMessage);
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QVERIFY(g_wire.empty());
        QCOMPARE(Text(IDC_LOG), logBefore);
        QVERIFY(window_->isVisible());
    }

    void escapeCloseBoxAndExitEndWithOne_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close";
        QTest::newRow("Exit button") << "exit";
    }
    void escapeCloseBoxAndExitEndWithOne() {
        QFETCH(QString, how);
        Open();
        g_wire.clear();
        if (how == "escape")
            QTest::keyClick(window_->Control(IDC_FREQUENCY), Qt::Key_Escape);
        else if (how == "close")
            window_->close();
        else
            QTest::mouseClick(window_->Control(IDC_EXIT), Qt::LeftButton);
        QVERIFY(!window_->isVisible());
        QCOMPARE(window_->result(), 1);
        QVERIFY(g_wire.empty());
    }

    void checkBoxWritesItsNewState_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QStringList>("writes");
        // Starting from the receiver's defaults: bias T off, LNA on, mixer gain on.
        QTest::newRow("bias T") << IDC_BIAS_T << QStringList{"7e 01", "7e 00"};
        QTest::newRow("LNA") << IDC_LNA_ENABLE << QStringList{"6e 00", "6e 01"};
        QTest::newRow("mixer gain") << IDC_MIXER_GAIN << QStringList{"72 00", "72 01"};
    }
    void checkBoxWritesItsNewState() {
        QFETCH(int, id);
        QFETCH(QStringList, writes);
        Open();
        g_wire.clear();
        auto* box = Get<QCheckBox>(id);
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        // One write a click, and no refresh after it.
        QCOMPARE(Sent(2), writes);
    }

    void spinner_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<int>("end");
        // A click writes the new value, and end-of-scroll writes it again.
        QTest::newRow("up arrow raises") << 10 << 1 << "up" << QStringList{"75 0b 00", "75 0b 00"} << 11;
        QTest::newRow("down arrow lowers") << 10 << 1 << "down" << QStringList{"75 09 00", "75 09 00"} << 9;
        QTest::newRow("up at 59 writes 59") << 59 << 1 << "up" << QStringList{"75 3b 00", "75 3b 00"} << 59;
        QTest::newRow("down at 0 writes 0") << 0 << 1 << "down" << QStringList{"75 00 00", "75 00 00"} << 0;
        QTest::newRow("Ctrl+up steps by the page") << 10 << 5 << "ctrl-up" << QStringList{"75 0f 00", "75 0f 00"}
                                                   << 15;
        QTest::newRow("Ctrl+down steps by the page") << 10 << 5 << "ctrl-down"
                                                     << QStringList{"75 05 00", "75 05 00"} << 5;
        QTest::newRow("page up raises by the page") << 10 << 5 << "page-up" << QStringList{"75 0f 00"} << 15;
        QTest::newRow("top") << 30 << 1 << "top" << QStringList{"75 00 00"} << 0;
        QTest::newRow("bottom") << 30 << 1 << "bottom" << QStringList{"75 3b 00"} << 59;
        QTest::newRow("thumb drag") << 3 << 1 << "drag" << QStringList{"75 1e 00", "75 1e 00"} << 30;
    }
    void spinner() {
        QFETCH(int, start);
        QFETCH(int, page);
        QFETCH(QString, action);
        QFETCH(QStringList, writes);
        QFETCH(int, end);
        Open();
        window_->DialogSeam().SetScrollInfo(IDC_IF_GAIN_SPIN, ScrollInfo{0, 59, page, start});
        g_wire.clear();
        auto* bar = Get<SpinnerBar>(IDC_IF_GAIN_SPIN);
        if (action == "up" || action == "ctrl-up")
            ClickSpinner(bar, QStyle::SC_ScrollBarSubLine, action == "up" ? Qt::NoModifier : Qt::ControlModifier);
        else if (action == "down" || action == "ctrl-down")
            ClickSpinner(bar, QStyle::SC_ScrollBarAddLine, action == "down" ? Qt::NoModifier : Qt::ControlModifier);
        else if (action == "page-up")
            bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        else if (action == "top")
            bar->triggerAction(QAbstractSlider::SliderToMinimum);
        else if (action == "bottom")
            bar->triggerAction(QAbstractSlider::SliderToMaximum);
        else if (action == "drag") {
            bar->setSliderDown(true);
            bar->setSliderPosition(30);
            bar->setSliderDown(false);
        }
        QCOMPARE(Sent(3), writes);
        QCOMPARE(bar->value(), end);
        QCOMPARE(bar->sliderPosition(), end);
        QCOMPARE(Text(IDC_IF_GAIN_VALUE), QString::number(end));
        QCOMPARE(sim_->Settings().ifGain, end);
    }

    void deviceNoticeRefreshes() {
        QTemporaryDir dev;
        QVERIFY(dev.isValid());
        Open();
        DeviceWatcher watcher(dev.path(), nullptr);
        connect(&watcher, &DeviceWatcher::DeviceChanged, window_.get(), &PanelWindow::NotifyDeviceChange);
        sim_->Settings().ifGain = 21;
        sim_->Settings().biasT = 1;
        g_wire.clear();
        QFile node(dev.filePath("hidraw3"));
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        QTRY_COMPARE(Text(IDC_IF_GAIN_VALUE), QString("21"));
        QVERIFY(Get<QCheckBox>(IDC_BIAS_T)->isChecked());
        QCOMPARE(SentCodes(), kRefreshReads);
        QCOMPARE(LogLines().size(), 4);  // the log was cleared, then the last read's lines
    }

    void watcherAnnouncesEachHidrawEntry() {
        QTemporaryDir dev;
        QVERIFY(dev.isValid());
        DeviceWatcher watcher(dev.path(), nullptr);
        QVERIFY(!watcher.UsesUdev());
        QSignalSpy spy(&watcher, &DeviceWatcher::DeviceChanged);
        auto touch = [&](const QString& name) {
            QFile file(dev.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        };
        touch("hidraw0");
        touch("hidraw1");
        touch("ttyS0");
        QTRY_COMPARE(spy.count(), 2);
        QVERIFY(QFile::remove(dev.filePath("hidraw0")));
        QTRY_COMPARE(spy.count(), 3);
        QVERIFY(QFile::remove(dev.filePath("ttyS0")));
        QTest::qWait(100);
        QCOMPARE(spy.count(), 3);
    }

    void noticesDuringAMessageBoxWaitForIt() {
        Open();
        Get<QLineEdit>(IDC_FREQUENCY)->setText("5");
        sim_->Settings().ifGain = 33;
        g_wire.clear();
        BoxSeen seen;
        std::size_t sentWhileOpen = 99;
        AnswerMessageBoxes(&seen, [&] {
            window_->NotifyDeviceChange();
            window_->NotifyDeviceChange();
            sentWhileOpen = g_wire.size();
        });
        QTest::keyClick(window_->Control(IDC_FREQUENCY), Qt::Key_Return);
        QCOMPARE(seen.count, 1);
        QCOMPARE(sentWhileOpen, std::size_t(0));
        // Both notices are handled once the handler is done: a refresh each.
        QCOMPARE(SentCodes(), kRefreshReads + kRefreshReads);
        QCOMPARE(Text(IDC_IF_GAIN_VALUE), QString("33"));
    }

    void demoReceiverLeavesForTheBootloaderAndReturns() {
        window_ = std::make_unique<PanelWindow>();
        DemoReceiver demo(*sim_, *window_, false, DemoTiming{0, 60});
        window_->Initialize();
        window_->show();
        g_wire.clear();
        QTest::mouseClick(window_->Control(IDC_BOOTLOADER), Qt::LeftButton);
        QCOMPARE(SentCodes(), QStringList{"ff"});
        QCOMPARE(LogLines().last(), QString("Success, Zelkor reset to bootloader."));
        // The departure's notice comes after the transaction: a refresh finding nothing.
        QTRY_COMPARE(Text(IDC_CURRENT_FREQUENCY), QString("0"));
        QCOMPARE(LogLines().size(), 2);
        // A power-cycle later it is back, and the panel fills again.
        QTRY_COMPARE(Text(IDC_CURRENT_FREQUENCY), QString("100000000"));
        QCOMPARE(Get<QCheckBox>(IDC_LNA_ENABLE)->isChecked(), true);
    }

    void demoReceiverPluggedInAfterTheStart() {
        window_ = std::make_unique<PanelWindow>();
        DemoReceiver demo(*sim_, *window_, true, DemoTiming{50, 3000});
        window_->Initialize();
        window_->show();
        QCOMPARE(Text(IDC_CURRENT_FREQUENCY), QString("0"));
        QCOMPARE(LogLines().size(), 2);
        QTRY_COMPARE(Text(IDC_CURRENT_FREQUENCY), QString("100000000"));
        QCOMPARE(Get<QComboBox>(IDC_RF_FILTER)->currentText(), QString("75MHz-125MHz"));
    }
};

QTEST_MAIN(PanelWindowTest)
#include "panel_window_test.moc"
