// What the window does: All, Advanced setting, Browse, About, keys, focus
// order, and the capture of a job's settings.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/control_ids.h"
#include "app/window_fixture.h"
#include "store/drive_list.h"
#include "support/time_zone.h"

namespace korvex {
namespace {

using testing::WindowTest;

QCheckBox* checkBox(const MainDialog& window, int id) { return qobject_cast<QCheckBox*>(window.control(id)); }
QLineEdit* lineEdit(const MainDialog& window, int id) { return qobject_cast<QLineEdit*>(window.control(id)); }

void click(const MainDialog& window, int id) { QTest::mouseClick(window.control(id), Qt::LeftButton); }

std::vector<bool> channelStates(const MainDialog& window) {
  std::vector<bool> states;
  for (int id = ID_CHANNEL_FIRST; id <= ID_CHANNEL_LAST; ++id) states.push_back(checkBox(window, id)->isChecked());
  return states;
}

TEST_F(WindowTest, AllSetsAndClearsTheSixteenChannels) {
  auto window = showWindow();
  click(*window, ID_ALL_CHANNELS);
  EXPECT_TRUE(checkBox(*window, ID_ALL_CHANNELS)->isChecked());
  EXPECT_EQ(channelStates(*window), std::vector<bool>(16, true));

  // A single box does not act back on All.
  click(*window, 1009);
  EXPECT_FALSE(checkBox(*window, 1009)->isChecked());
  EXPECT_TRUE(checkBox(*window, ID_ALL_CHANNELS)->isChecked());

  click(*window, ID_ALL_CHANNELS);
  EXPECT_FALSE(checkBox(*window, ID_ALL_CHANNELS)->isChecked());
  EXPECT_EQ(channelStates(*window), std::vector<bool>(16, false));

  // Clearing All also clears boxes checked one by one.
  click(*window, 1007);
  click(*window, 1022);
  EXPECT_FALSE(checkBox(*window, ID_ALL_CHANNELS)->isChecked());
  std::vector<bool> two(16, false);
  two[0] = two[15] = true;
  EXPECT_EQ(channelStates(*window), two);
  click(*window, ID_ALL_CHANNELS);
  click(*window, ID_ALL_CHANNELS);
  EXPECT_EQ(channelStates(*window), std::vector<bool>(16, false));
}

TEST_F(WindowTest, AdvancedSettingShowsAndHidesTheLowerBand) {
  const int lowerBand[] = {ID_SIZE_LIMIT_LABEL, ID_SIZE_LIMIT, ID_FOLDER_RANGE_LABEL, ID_FOLDER_START,
                           ID_FOLDER_END,       ID_SCAN,       ID_STOP_SCAN,          ID_SCAN_PROGRESS,
                           ID_SCAN_PERCENT};
  auto window = showWindow();
  const QSize compact = window->size();
  const int statusBottom = window->control(ID_STATUS)->geometry().bottom();
  EXPECT_LE(statusBottom, compact.height());

  click(*window, ID_ADVANCED_SETTING);
  EXPECT_FALSE(window->advancedCollapsed());
  for (int id : lowerBand) EXPECT_TRUE(window->control(id)->isVisible()) << id;
  const QSize expanded = window->size();
  EXPECT_EQ(expanded.width(), compact.width());
  EXPECT_GT(expanded.height(), compact.height());
  // The whole band lies inside the window.
  for (int id : lowerBand) {
    QWidget* widget = window->control(id);
    EXPECT_LE(widget->mapTo(window.get(), QPoint(0, widget->height())).y(), expanded.height()) << id;
  }

  click(*window, ID_ADVANCED_SETTING);
  EXPECT_TRUE(window->advancedCollapsed());
  for (int id : lowerBand) EXPECT_FALSE(window->control(id)->isVisible()) << id;
  EXPECT_EQ(window->size(), compact);
  EXPECT_EQ(window->control(ID_STATUS)->geometry().bottom(), statusBottom);
}

struct ChooserCall {
  QWidget* parent = nullptr;
  QString title;
  QString startFolder;
  int count = 0;
};

TEST_F(WindowTest, BrowseWritesTheChosenFolderWithoutTrailingSlash) {
  const std::pair<QString, QString> cases[] = {
      {QStringLiteral("/data/rec"), QStringLiteral("/data/rec")},
      {QStringLiteral("/data/rec/"), QStringLiteral("/data/rec")},
      {QStringLiteral("/"), QStringLiteral("/")},
      {QStringLiteral("/media/user/备份"), QStringLiteral("/media/user/备份")},
  };
  for (const auto& [chosen, expected] : cases) {
    auto window = showWindow();
    ChooserCall call;
    window->setFolderChooser([&call, chosen = chosen](QWidget* parent, const QString& title, const QString& start) {
      call = ChooserCall{parent, title, start, call.count + 1};
      return chosen;
    });
    click(*window, ID_BROWSE);
    EXPECT_EQ(call.count, 1);
    EXPECT_EQ(call.parent, window.get());
    EXPECT_EQ(call.title, QStringLiteral("请选择路径: "));
    EXPECT_EQ(call.startFolder, QString::fromStdString(programFolder()));
    EXPECT_EQ(lineEdit(*window, ID_OUTPUT_FOLDER)->text(), expected) << chosen.toStdString();
  }
}

TEST_F(WindowTest, BrowseCancelledKeepsTheOutputFolder) {
  auto window = showWindow();
  lineEdit(*window, ID_OUTPUT_FOLDER)->setText(QStringLiteral("/kept/"));
  int calls = 0;
  window->setFolderChooser([&calls](QWidget*, const QString&, const QString&) {
    ++calls;
    return QString();
  });
  click(*window, ID_BROWSE);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(lineEdit(*window, ID_OUTPUT_FOLDER)->text(), QStringLiteral("/kept/"));
}

void expectAboutBox(QDialog& dialog) {
  auto* about = qobject_cast<AboutDialog*>(&dialog);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->windowTitle(), QStringLiteral("关于 Korvex"));
  auto* version = about->findChild<QLabel*>(QStringLiteral("aboutVersion"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text(), QStringLiteral("Korvex 1.0 版"));
  EXPECT_EQ(version->textFormat(), Qt::PlainText);
  auto* description = about->findChild<QLabel*>(QStringLiteral("aboutDescription"));
  ASSERT_NE(description, nullptr);
  EXPECT_FALSE(description->text().isEmpty());
  auto* icon = about->findChild<QLabel*>(QStringLiteral("aboutIcon"));
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  auto* ok = about->findChild<QPushButton*>(QStringLiteral("aboutOk"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), QStringLiteral("确定"));
  EXPECT_TRUE(ok->isDefault());
  about->show();
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_EQ(about->result(), QDialog::Accepted);
  EXPECT_FALSE(about->isVisible());
}

TEST_F(WindowTest, AboutEntryOfTheContextMenuOpensTheAboutBox) {
  auto window = showWindow();
  EXPECT_EQ(window->contextMenuPolicy(), Qt::ActionsContextMenu);
  QAction* about = window->aboutAction();
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(window->actions().contains(about));
  EXPECT_EQ(about->text(), QStringLiteral("关于 Korvex(&A)..."));
  int boxes = 0;
  onModal = [&boxes](QDialog& dialog) {
    ++boxes;
    expectAboutBox(dialog);
    return dialog.result();
  };
  about->trigger();
  EXPECT_EQ(boxes, 1);
  EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowTest, F1OpensTheAboutBox) {
  auto window = showWindow();
  int boxes = 0;
  onModal = [&boxes](QDialog& dialog) {
    ++boxes;
    EXPECT_NE(qobject_cast<AboutDialog*>(&dialog), nullptr);
    return static_cast<int>(QDialog::Accepted);
  };
  QTest::keyClick(lineEdit(*window, ID_OUTPUT_FOLDER), Qt::Key_F1);
  EXPECT_EQ(boxes, 1);
}

// Runs the window modally, as the program does, and sends it `key` once it
// runs; a window that does not close within five seconds ends with 42.
int runAndPress(MainDialog& window, const std::function<void()>& press) {
  QTimer::singleShot(0, &window, press);
  QTimer::singleShot(5000, &window, [&window] { window.done(42); });
  return window.exec();
}

TEST_F(WindowTest, EscapeEndsTheWindow) {
  auto window = makeWindow();
  const int result = runAndPress(*window, [&window] {
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), Qt::Key_Escape);
  });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, CloseBoxEndsTheWindow) {
  auto window = makeWindow();
  const int result = runAndPress(*window, [&window] { window->close(); });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, EnterInAnEditBoxNeitherStartsAJobNorClosesTheWindow) {
  auto window = showWindow();
  click(*window, ID_ADVANCED_SETTING);
  std::vector<std::unique_ptr<QSignalSpy>> spies;
  for (QPushButton* button : window->findChildren<QPushButton*>())
    spies.push_back(std::make_unique<QSignalSpy>(button, &QPushButton::clicked));
  std::vector<QWidget*> edits;
  for (int id : {ID_OUTPUT_FOLDER, ID_SIZE_LIMIT, ID_FOLDER_START, ID_FOLDER_END}) edits.push_back(window->control(id));
  edits.push_back(qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->lineEdit());
  edits.push_back(qobject_cast<QComboBox*>(window->control(ID_LANGUAGE_LIST))->lineEdit());
  for (int id : {ID_BEGIN_DATE, ID_BEGIN_TIME, ID_END_DATE, ID_END_TIME}) edits.push_back(window->control(id));
  for (QWidget* edit : edits) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(window->isVisible()) << edit->objectName().toStdString();
  }
  for (const auto& spy : spies) EXPECT_EQ(spy->count(), 0);
  EXPECT_EQ(window->result(), 0);
  EXPECT_TRUE(modalTitles.empty());
}

TEST_F(WindowTest, EnterPressesTheFocusedButton) {
  auto window = showWindow();
  QPushButton* advanced = qobject_cast<QPushButton*>(window->control(ID_ADVANCED_SETTING));
  advanced->setFocus();
  QTest::keyClick(advanced, Qt::Key_Return);
  EXPECT_FALSE(window->advancedCollapsed());
  EXPECT_TRUE(window->isVisible());
}

// The control that owns a widget of the focus chain (an editable combo box's
// field belongs to the combo box).
int owningControl(QWidget* widget) {
  for (; widget != nullptr; widget = widget->parentWidget())
    if (widget->property("controlId").isValid()) return widget->property("controlId").toInt();
  return 0;
}

TEST_F(WindowTest, FocusOrder) {
  auto window = showWindow();
  click(*window, ID_ADVANCED_SETTING);
  std::vector<int> expected = {1000, 1001, 1002, 1003, 1004, 1005, 1006};
  for (int id = 1007; id <= 1022; ++id) expected.push_back(id);
  for (int id : {1023, 1024, 1025, 1026, 1027, 1028, 1029, 1030, 1031, 1033, 1034, 1035, 1036, 1044, 1046})
    expected.push_back(id);

  std::vector<int> order;
  QWidget* widget = window->startBackupButton();
  do {
    if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(window.get()) && widget->isEnabled()) {
      const int id = owningControl(widget);
      if (id != 0 && (order.empty() || order.back() != id)) order.push_back(id);
    }
    widget = widget->nextInFocusChain();
  } while (widget != window->startBackupButton() && order.size() < 100);
  EXPECT_EQ(order, expected);

  // Tab from Start backup goes to the drive list, then to the output folder.
  window->startBackupButton()->setFocus();
  QTest::keyClick(window->startBackupButton(), Qt::Key_Tab);
  EXPECT_EQ(owningControl(QApplication::focusWidget()), ID_DRIVE_LIST);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(owningControl(QApplication::focusWidget()), ID_OUTPUT_FOLDER);
}

struct PickerValues {
  QDate beginDate;
  QTime beginTime;
  QDate endDate;
  QTime endTime;
};

void setPickers(const MainDialog& window, const PickerValues& values) {
  qobject_cast<QDateEdit*>(window.control(ID_BEGIN_DATE))->setDate(values.beginDate);
  qobject_cast<QTimeEdit*>(window.control(ID_BEGIN_TIME))->setTime(values.beginTime);
  qobject_cast<QDateEdit*>(window.control(ID_END_DATE))->setDate(values.endDate);
  qobject_cast<QTimeEdit*>(window.control(ID_END_TIME))->setTime(values.endTime);
}

TEST_F(WindowTest, CaptureOfTheDefaults) {
  auto window = makeWindow();
  JobSettings settings;
  settings.channelEnabled.fill(1);
  settings.recordTypeEnabled.fill(1);
  window->captureBackupSettings(settings);
  EXPECT_EQ(settings.folderStart, 0);
  EXPECT_EQ(settings.folderEnd, 0);
  EXPECT_EQ(settings.beginTime, settings.endTime);
  EXPECT_EQ(settings.maxDataSizeMB, 0);
  EXPECT_EQ(settings.channelEnabled, (std::array<std::uint8_t, 32>{}));
  const std::array<std::uint8_t, 12> types = {0, 1, 1, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(settings.recordTypeEnabled, types);
  const std::vector<std::string> roots = listDriveRoots();
  EXPECT_EQ(settings.diskRoot, roots.empty() ? std::string() : roots.front());
  EXPECT_EQ(settings.outputFolder, programFolder() + "/");
}

TEST_F(WindowTest, CaptureOfABackupFromEveryControlHiddenOnesIncluded) {
  testing::ScopedTimeZone zone(testing::TZ_CENTRAL_EUROPE);
  auto window = showWindow();
  ASSERT_TRUE(window->advancedCollapsed());
  lineEdit(*window, ID_FOLDER_START)->setText(QStringLiteral("2"));
  lineEdit(*window, ID_FOLDER_END)->setText(QStringLiteral("12abc"));
  lineEdit(*window, ID_SIZE_LIMIT)->setText(QStringLiteral("-5"));
  for (int id : {1007, 1009, 1022}) click(*window, id);
  click(*window, ID_TYPE_MOTION);
  qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->setEditText(QStringLiteral("/mnt/rec"));
  lineEdit(*window, ID_OUTPUT_FOLDER)->setText(QStringLiteral("/home/user/out"));
  setPickers(*window, {QDate(2012, 1, 14), QTime(9, 5, 3), QDate(2012, 1, 15), QTime(10, 0, 0)});

  JobSettings settings;
  window->captureBackupSettings(settings);
  EXPECT_EQ(settings.folderStart, 2);
  EXPECT_EQ(settings.folderEnd, 12);
  // Winter in central Europe: the recorder counts local standard time as UTC.
  EXPECT_EQ(settings.beginTime, 1326531903);
  EXPECT_EQ(settings.endTime, 1326621600);
  EXPECT_EQ(settings.maxDataSizeMB, 100);
  std::array<std::uint8_t, 32> channels{};
  channels[0] = channels[2] = channels[15] = 1;
  EXPECT_EQ(settings.channelEnabled, channels);
  const std::array<std::uint8_t, 12> types = {0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(settings.recordTypeEnabled, types);
  EXPECT_EQ(settings.diskRoot, "/mnt/rec/");
  EXPECT_EQ(settings.outputFolder, "/home/user/out");
}

TEST_F(WindowTest, CaptureOfTheSizeLimitText) {
  auto window = makeWindow();
  const std::pair<const char*, std::int32_t> cases[] = {
      {"0", 0}, {"-5", 100}, {"abc", 0}, {"12abc", 12}, {"5000", 5000}, {" 7", 7},
  };
  for (const auto& [text, expected] : cases) {
    lineEdit(*window, ID_SIZE_LIMIT)->setText(QString::fromUtf8(text));
    JobSettings settings;
    window->captureBackupSettings(settings);
    EXPECT_EQ(settings.maxDataSizeMB, expected) << text;
  }
}

TEST_F(WindowTest, CaptureOfAScanTakesOnlyItsFields) {
  auto window = makeWindow();
  lineEdit(*window, ID_FOLDER_START)->setText(QStringLiteral("3"));
  lineEdit(*window, ID_FOLDER_END)->setText(QStringLiteral("x"));
  qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST))->setEditText(QStringLiteral("/media/disk/"));
  lineEdit(*window, ID_OUTPUT_FOLDER)->setText(QStringLiteral("/reports"));
  JobSettings settings;
  settings.beginTime = 11;
  settings.endTime = 22;
  settings.maxDataSizeMB = 33;
  settings.channelEnabled[4] = 1;
  settings.recordTypeEnabled[2] = 1;
  window->captureScanSettings(settings);
  EXPECT_EQ(settings.folderStart, 3);
  EXPECT_EQ(settings.folderEnd, 0);
  EXPECT_EQ(settings.diskRoot, "/media/disk/");
  EXPECT_EQ(settings.outputFolder, "/reports");
  EXPECT_EQ(settings.beginTime, 11);
  EXPECT_EQ(settings.endTime, 22);
  EXPECT_EQ(settings.maxDataSizeMB, 33);
  EXPECT_EQ(settings.channelEnabled[4], 1);
  EXPECT_EQ(settings.recordTypeEnabled[2], 1);
}

TEST_F(WindowTest, PickersHoldOnlyDatesOfA32BitRecorderTime) {
  testing::ScopedTimeZone zone("UTC0");
  auto window = makeWindow();
  auto* beginDate = qobject_cast<QDateEdit*>(window->control(ID_BEGIN_DATE));
  EXPECT_EQ(beginDate->minimumDate(), QDate(1901, 12, 14));
  EXPECT_EQ(beginDate->maximumDate(), QDate(2038, 1, 18));
  EXPECT_EQ(qobject_cast<QDateEdit*>(window->control(ID_END_DATE))->maximumDate(), QDate(2038, 1, 18));

  setPickers(*window, {QDate(1901, 12, 14), QTime(0, 0, 0), QDate(2038, 1, 18), QTime(23, 59, 59)});
  JobSettings settings;
  window->captureBackupSettings(settings);
  EXPECT_EQ(settings.beginTime, -2147472000);
  EXPECT_EQ(settings.endTime, 2147471999);

  // Dates outside are refused: the pickers stay within the range.
  setPickers(*window, {QDate(1850, 1, 1), QTime(0, 0, 0), QDate(2100, 1, 1), QTime(0, 0, 0)});
  EXPECT_EQ(beginDate->date(), QDate(1901, 12, 14));
  EXPECT_LE(qobject_cast<QDateEdit*>(window->control(ID_END_DATE))->date(), QDate(2038, 1, 18));
}

TEST_F(WindowTest, MessageBoxCarriesTheApplicationName) {
  auto window = makeWindow();
  int boxes = 0;
  onModal = [&boxes](QDialog& dialog) {
    ++boxes;
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    EXPECT_NE(box, nullptr);
    if (box == nullptr) return 0;
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Korvex"));
    EXPECT_EQ(box->text(), QStringLiteral("Finished!"));
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    return static_cast<int>(QMessageBox::Ok);
  };
  window->showMessage(QStringLiteral("Finished!"));
  EXPECT_EQ(boxes, 1);
}

TEST_F(WindowTest, ProgressDisplay) {
  auto window = makeWindow();
  window->setStatusText(QStringLiteral("Video end time=2012.5.14.9:5:3\r\nFolder=3, File=17"));
  EXPECT_EQ(qobject_cast<QPlainTextEdit*>(window->control(ID_STATUS))->toPlainText(),
            QStringLiteral("Video end time=2012.5.14.9:5:3\nFolder=3, File=17"));
  auto* progress = qobject_cast<QProgressBar*>(window->control(ID_SCAN_PROGRESS));
  auto* percent = qobject_cast<QLabel*>(window->control(ID_SCAN_PERCENT));
  const std::tuple<int, int, const char*> cases[] = {{42, 42, "42%"}, {100, 100, "100%"}, {150, 100, "150%"},
                                                     {0, 0, "0%"}};
  for (const auto& [value, bar, label] : cases) {
    window->setScanProgress(value);
    EXPECT_EQ(progress->value(), bar) << value;
    EXPECT_EQ(percent->text(), QString::fromUtf8(label)) << value;
  }
  window->setJobButtonsEnabled(false, true, false, false);
  EXPECT_FALSE(window->startBackupButton()->isEnabled());
  EXPECT_TRUE(window->stopBackupButton()->isEnabled());
  EXPECT_FALSE(window->scanButton()->isEnabled());
  EXPECT_FALSE(window->stopScanButton()->isEnabled());
  window->setJobButtonsEnabled(true, false, true, true);
  EXPECT_TRUE(window->startBackupButton()->isEnabled());
  EXPECT_FALSE(window->stopBackupButton()->isEnabled());
  EXPECT_TRUE(window->scanButton()->isEnabled());
  EXPECT_TRUE(window->stopScanButton()->isEnabled());
}

TEST_F(WindowTest, TheRecoverBoxSitsInTheAdvancedBandAndGoesIntoBothJobs) {
  auto window = showWindow();
  QCheckBox* recover = window->recoverBox();
  ASSERT_NE(recover, nullptr);
  EXPECT_FALSE(recover->isChecked());
  EXPECT_FALSE(recover->isVisible());
  click(*window, ID_ADVANCED_SETTING);
  EXPECT_TRUE(recover->isVisible());
  EXPECT_EQ(recover->text(), QStringLiteral("Recover damaged recordings"));
  auto* languages = qobject_cast<QComboBox*>(window->control(ID_LANGUAGE_LIST));
  languages->setFocus();
  QTest::keyClick(languages, Qt::Key_Down);
  ASSERT_EQ(languages->currentIndex(), 1);
  EXPECT_EQ(recover->text(), QString::fromUtf8("恢复损坏的录像"));

  for (const bool checked : {false, true}) {
    recover->setChecked(checked);
    JobSettings scan, backup;
    scan.recover = backup.recover = !checked;
    window->captureScanSettings(scan);
    window->captureBackupSettings(backup);
    EXPECT_EQ(scan.recover, checked);
    EXPECT_EQ(backup.recover, checked);
  }
}

}  // namespace
}  // namespace korvex
