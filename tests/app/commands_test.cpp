// What the window does: All, Advanced setting, Browse, About, keys, focus
// order, and the capture of a job's settings.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimeEdit>
#include <QTableView>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/control_ids.h"
#include "app/segment_table_model.h"
#include "app/window_settings.h"
#include "app/window_fixture.h"
#include "store/drive_list.h"
#include "store/record_types.h"
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

TEST_F(WindowTest, AllSetsAndClearsTheSixteenChannelsAndShowsAPartialState) {
  auto window = showWindow();
  QCheckBox* all = checkBox(*window, ID_ALL_CHANNELS);
  click(*window, ID_ALL_CHANNELS);
  EXPECT_EQ(all->checkState(), Qt::Checked);
  EXPECT_EQ(channelStates(*window), std::vector<bool>(16, true));

  // Some channels ticked: All shows it.
  click(*window, 1009);
  EXPECT_FALSE(checkBox(*window, 1009)->isChecked());
  // From the partial state All ticks every channel.
  click(*window, ID_ALL_CHANNELS);
  EXPECT_EQ(all->checkState(), Qt::Checked);
  EXPECT_EQ(channelStates(*window), std::vector<bool>(16, true));

  click(*window, ID_ALL_CHANNELS);
  EXPECT_EQ(all->checkState(), Qt::Unchecked);
  EXPECT_EQ(channelStates(*window), std::vector<bool>(16, false));

  click(*window, 1007);
  click(*window, 1022);
  std::vector<bool> two(16, false);
  two[0] = two[15] = true;
  EXPECT_EQ(channelStates(*window), two);
  // Ticking the rest one by one ends with All ticked.
  for (int id = 1008; id <= 1021; ++id) click(*window, id);
  EXPECT_EQ(all->checkState(), Qt::Checked);
  click(*window, ID_ALL_CHANNELS);
  EXPECT_EQ(channelStates(*window), std::vector<bool>(16, false));
  EXPECT_EQ(all->checkState(), Qt::Unchecked);
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
    lineEdit(*window, ID_OUTPUT_FOLDER)->setText(QString::fromStdString(programFolder() + "/LANG/missing/deeper"));
    ChooserCall call;
    window->setFolderChooser([&call, chosen = chosen](QWidget* parent, const QString& title, const QString& start) {
      call = ChooserCall{parent, title, start, call.count + 1};
      return chosen;
    });
    click(*window, ID_BROWSE);
    EXPECT_EQ(call.count, 1);
    EXPECT_EQ(call.parent, window.get());
    EXPECT_EQ(call.title, QStringLiteral("Please choose a folder: "));
    // At the folder typed in the box.
    EXPECT_EQ(call.startFolder, QString::fromStdString(programFolder() + "/LANG"));
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

void expectAboutBox(QDialog& dialog, bool chinese) {
  auto* about = qobject_cast<AboutDialog*>(&dialog);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->windowTitle(), chinese ? QStringLiteral("关于 Korvex") : QStringLiteral("About Korvex"));
  auto* version = about->findChild<QLabel*>(QStringLiteral("aboutVersion"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text(), chinese ? QStringLiteral("Korvex 1.0 版") : QStringLiteral("Korvex version 1.0"));
  EXPECT_EQ(version->textFormat(), Qt::PlainText);
  auto* description = about->findChild<QLabel*>(QStringLiteral("aboutDescription"));
  ASSERT_NE(description, nullptr);
  EXPECT_FALSE(description->text().isEmpty());
  auto* icon = about->findChild<QLabel*>(QStringLiteral("aboutIcon"));
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  auto* ok = about->findChild<QPushButton*>(QStringLiteral("aboutOk"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), chinese ? QStringLiteral("确定") : QStringLiteral("OK"));
  EXPECT_TRUE(ok->isDefault());
  about->show();
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_EQ(about->result(), QDialog::Accepted);
  EXPECT_FALSE(about->isVisible());
}

TEST_F(WindowTest, AboutEntryOfTheContextMenuOpensTheAboutBoxInTheCurrentLanguage) {
  auto window = showWindow();
  EXPECT_EQ(window->contextMenuPolicy(), Qt::ActionsContextMenu);
  QAction* about = window->aboutAction();
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(window->actions().contains(about));
  for (const bool chinese : {false, true}) {
    auto* list = qobject_cast<QComboBox*>(window->control(ID_LANGUAGE_LIST));
    list->setCurrentIndex(chinese ? 1 : 0);
    window->onLanguageChanged();
    EXPECT_EQ(about->text(), chinese ? QStringLiteral("关于 Korvex(&A)...") : QStringLiteral("&About Korvex..."));
    int boxes = 0;
    onModal = [&boxes, chinese](QDialog& dialog) {
      ++boxes;
      expectAboutBox(dialog, chinese);
      return dialog.result();
    };
    about->trigger();
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(window->isVisible());
  }
}

TEST_F(WindowTest, MessageBoxButtonsAndTheFolderChoosersTitleAreInTheCurrentLanguage) {
  auto window = showWindow();
  QStringList buttons;
  onModal = [&buttons](QDialog& dialog) {
    for (QAbstractButton* button : qobject_cast<QMessageBox*>(&dialog)->buttons()) buttons << button->text();
    return static_cast<int>(QMessageBox::No);
  };
  QString title;
  window->setFolderChooser([&title](QWidget*, const QString& t, const QString&) {
    title = t;
    return QString();
  });
  auto* list = qobject_cast<QComboBox*>(window->control(ID_LANGUAGE_LIST));
  list->setCurrentIndex(1);
  window->onLanguageChanged();
  window->showMessage(QStringLiteral("x"));
  EXPECT_EQ(buttons, QStringList{QStringLiteral("确定")});
  buttons.clear();
  EXPECT_FALSE(window->askYesNo(QStringLiteral("?")));
  buttons.sort();
  QStringList yesNo{QStringLiteral("是"), QStringLiteral("否")};
  yesNo.sort();
  EXPECT_EQ(buttons, yesNo);
  click(*window, ID_BROWSE);
  EXPECT_EQ(title, QStringLiteral("请选择路径: "));
  list->setCurrentIndex(0);
  window->onLanguageChanged();
  buttons.clear();
  window->showMessage(QStringLiteral("x"));
  EXPECT_EQ(buttons, QStringList{QStringLiteral("OK")});
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

TEST_F(WindowTest, EscapeNeverClosesTheWindow) {
  auto window = makeWindow();
  const int result = runAndPress(*window, [&window] {
    for (int id : {ID_OUTPUT_FOLDER, ID_START_BACKUP, ID_LANGUAGE_LIST}) {
      window->control(id)->setFocus();
      QTest::keyClick(window->control(id), Qt::Key_Escape);
    }
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    window->done(7);
  });
  EXPECT_EQ(result, 7);
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

TEST_F(WindowTest, NoButtonIsAnAutoDefault) {
  auto window = showWindow();
  // The form's seven and the picking view's.
  const auto buttons = window->findChildren<QPushButton*>();
  EXPECT_GE(buttons.size(), 7);
  for (QPushButton* button : buttons) {
    EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
  }
  // After a message box, Enter in an edit box still presses nothing.
  window->control(ID_ADVANCED_SETTING)->setFocus();
  window->showMessage(QStringLiteral("done"));
  lineEdit(*window, ID_OUTPUT_FOLDER)->setFocus();
  QTest::keyClick(lineEdit(*window, ID_OUTPUT_FOLDER), Qt::Key_Return);
  EXPECT_TRUE(window->advancedCollapsed());
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
  // The form top to bottom, each row left to right (Stop buttons are
  // disabled while nothing runs; the disk's Browse and the partition have
  // no id and count as 0).
  std::vector<int> expected = {1044, 1024, 1025, 1026, 1027};
  for (int id = 1007; id <= 1022; ++id) expected.push_back(id);
  for (int id : {1036, 1003, 1004, 1005, 1006, 1001, -1, 1002, 1028, 1000, 1035, 1029, 1023, 1030, 1031, -2, 1034})
    expected.push_back(id);

  std::vector<int> order;
  QWidget* first = window->control(ID_LANGUAGE_LIST);
  QWidget* widget = first;
  do {
    if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(window.get()) && widget->isEnabled()) {
      int id = owningControl(widget);
      if (widget->objectName() == QStringLiteral("diskBrowse")) id = -1;
      if (widget->objectName() == QStringLiteral("partition") || widget->parentWidget()->objectName() == QStringLiteral("partition")) id = -2;
      if (id != 0 && (order.empty() || order.back() != id)) order.push_back(id);
    }
    widget = widget->nextInFocusChain();
  } while (widget != first && order.size() < 100);
  EXPECT_EQ(order, expected);

  // Tab from the drive list goes to its Browse, then to the output folder.
  window->control(ID_DRIVE_LIST)->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("diskBrowse"));
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
  testing::ScopedTimeZone zone("UTC0");
  auto window = makeWindow();
  JobSettings settings;
  settings.channelEnabled.fill(1);
  settings.recordTypeEnabled.fill(1);
  window->captureBackupSettings(settings);
  EXPECT_EQ(settings.folderStart, 0);
  EXPECT_EQ(settings.folderEnd, 0);
  // The last 24 hours.
  EXPECT_EQ(settings.endTime - settings.beginTime, 24 * 3600);
  EXPECT_EQ(settings.maxDataSizeMB, 0);
  EXPECT_EQ(settings.channelEnabled, (std::array<std::uint8_t, 32>{}));
  const std::array<std::uint8_t, 12> types = {0, 1, 1, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(settings.recordTypeEnabled, types);
  const std::vector<std::string> roots = listDriveRoots();
  EXPECT_EQ(settings.diskRoot, roots.empty() ? std::string() : roots.front());
  EXPECT_EQ(QFile::decodeName(settings.outputFolder.c_str()), lineEdit(*window, ID_OUTPUT_FOLDER)->text());
}

// A pick from the picking view comes back from the form as the backup's
// selection: its channels, record types and time window, nothing more.
TEST_F(WindowTest, APickComesBackFromTheFormAsItsSettings) {
  testing::ScopedTimeZone zone(testing::TZ_CENTRAL_EUROPE);
  auto window = makeWindow();
  SelectionForm& form = *window->selectionForm();
  PickSummary pick;
  pick.count = 2;
  pick.channelMask = 0b1000'0000'0001'0001u;  // channels 1, 5 and 16
  pick.begin = 1326531903;
  pick.end = 1326621600;
  pick.recordTypes[RECORD_TYPE_MOTION] = true;
  pick.recordTypes[RECORD_TYPE_MANUAL] = true;
  form.takePick(pick);
  const JobSettings settings = form.settings();
  std::array<std::uint8_t, 32> channels{};
  for (std::size_t k : {0u, 4u, 15u}) channels[k] = 1;
  EXPECT_EQ(settings.channelEnabled, channels);
  std::array<std::uint8_t, 12> types{};
  types[RECORD_TYPE_MOTION] = types[RECORD_TYPE_MANUAL] = 1;
  EXPECT_EQ(settings.recordTypeEnabled, types);
  EXPECT_EQ(settings.beginTime, pick.begin);
  EXPECT_EQ(settings.endTime, pick.end);

  // An empty pick leaves the selection as it is.
  form.takePick(PickSummary{});
  EXPECT_EQ(form.settings().channelEnabled, channels);
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

// A drop from a file manager: a file URL with its text beside it.
bool dropOn(QWidget* target, const QString& path) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path)});
  data.setText(QUrl::fromLocalFile(path).toString());
  const QPoint at(4, 4);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

TEST_F(WindowTest, DropsFromAFileManagerGiveLocalPathsAndTheStatusBoxTakesNone) {
  auto window = showWindow();
  auto* drives = qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST));
  const QString folder = QString::fromStdString(programFolder() + "/LANG");
  EXPECT_TRUE(dropOn(drives->lineEdit(), folder));
  EXPECT_EQ(drives->currentText(), folder);
  const QString image = QString::fromStdString(programFolder() + "/mainset.ini");
  EXPECT_TRUE(dropOn(drives->lineEdit(), image));
  EXPECT_EQ(drives->currentText(), image);
  EXPECT_TRUE(dropOn(lineEdit(*window, ID_OUTPUT_FOLDER), folder));
  EXPECT_EQ(lineEdit(*window, ID_OUTPUT_FOLDER)->text(), folder);
  auto* status = qobject_cast<QPlainTextEdit*>(window->control(ID_STATUS));
  dropOn(status->viewport(), folder);
  EXPECT_EQ(status->toPlainText(), QString());
  // Nor typing.
  status->setFocus();
  QTest::keyClicks(status, QStringLiteral("typed"));
  EXPECT_EQ(status->toPlainText(), QString());
}

TEST_F(WindowTest, TheDiskBoxsBrowseMenuOffersAFolderOrAnImageFile) {
  auto window = showWindow();
  auto* drives = qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST));
  auto* browse = window->findChild<QPushButton*>(QStringLiteral("diskBrowse"));
  ASSERT_NE(browse, nullptr);
  ASSERT_NE(browse->menu(), nullptr);
  EXPECT_EQ(browse->menu()->actions(), (QList<QAction*>{window->diskFolderAction(), window->diskImageAction()}));
  EXPECT_EQ(window->diskFolderAction()->text(), QStringLiteral("Folder..."));
  EXPECT_EQ(window->diskImageAction()->text(), QStringLiteral("Image file or device..."));
  // Each opens where the box points.
  drives->setEditText(QString::fromStdString(programFolder() + "/LANG/English/lang.ini"));
  QString start;
  window->setFolderChooser([&start](QWidget*, const QString&, const QString& at) {
    start = at;
    return QStringLiteral("/media/rec/");
  });
  window->diskFolderAction()->trigger();
  EXPECT_EQ(start, QString::fromStdString(programFolder() + "/LANG/English"));
  EXPECT_EQ(drives->currentText(), QStringLiteral("/media/rec"));
  window->setFileChooser([&start](QWidget*, const QString&, const QString& at, const QString&) {
    start = at;
    return QStringLiteral("/images/disk.E01");
  });
  window->diskImageAction()->trigger();
  // The nearest folder of /media/rec that exists.
  EXPECT_EQ(start, QFileInfo(QStringLiteral("/media")).isDir() ? QStringLiteral("/media") : QStringLiteral("/"));
  EXPECT_EQ(drives->currentText(), QStringLiteral("/images/disk.E01"));
  // The drive list still lists the mount points.
  EXPECT_EQ(drives->count(), static_cast<int>(listDriveRoots().size()));
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

TEST_F(WindowTest, TheTimeFileBoxIsOnByDefaultAndGoesIntoBothJobs) {
  auto window = showWindow();
  QCheckBox* timeFile = window->timeFileBox();
  EXPECT_TRUE(timeFile->isChecked());
  EXPECT_EQ(timeFile->text(), QStringLiteral("Write time file"));
  for (const bool checked : {false, true}) {
    timeFile->setChecked(checked);
    JobSettings scan, backup;
    window->captureScanSettings(scan);
    window->captureBackupSettings(backup);
    EXPECT_EQ(std::pair(scan.timeFile, backup.timeFile), std::pair(checked, checked));
  }
}

TEST_F(WindowTest, TheClockOffsetGoesIntoBothJobsAndTheWindowCanBeEnteredInCorrectedTime) {
  auto window = showWindow();
  auto* offset = window->findChild<QLineEdit*>(QStringLiteral("clockOffset"));
  auto* clock = window->findChild<QComboBox*>(QStringLiteral("windowClock"));
  auto* table = window->findChild<QTableView*>(QStringLiteral("segmentTable"));
  ASSERT_TRUE(offset && clock && table);
  EXPECT_EQ(clock->itemText(1), QStringLiteral("Corrected time"));
  struct Case {
    const char* text;
    int clockIndex;
    std::optional<std::int64_t> seconds;
  };
  const Case cases[] = {{"", 0, std::nullopt},
                        {"+00:10:00", 0, 600},
                        {"+00:10:00", 1, 600},
                        {"2012-05-04 08:00:00=2012-05-04 08:00:30", 1, -30},
                        {"ten minutes", 0, std::nullopt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    offset->setText(QString::fromUtf8(c.text));
    clock->setCurrentIndex(c.clockIndex);
    JobSettings scan, backup;
    window->captureScanSettings(scan);
    window->captureBackupSettings(backup);
    ASSERT_EQ(backup.clockOffset.has_value(), c.seconds.has_value());
    EXPECT_EQ(scan.clockOffset, backup.clockOffset);
    // With an offset the table shows the corrected start.
    EXPECT_EQ(table->isColumnHidden(SegmentTableModel::CorrectedStart), !c.seconds);
    if (!c.seconds) continue;
    EXPECT_EQ(backup.clockOffset->seconds, *c.seconds);
    EXPECT_TRUE(QString::fromStdString(backup.clockOffset->givenBy).endsWith(QStringLiteral("(entered in the window)")));
    const bool corrected = c.clockIndex == 1;
    EXPECT_EQ(backup.windowClock, corrected ? WindowClock::Corrected : WindowClock::Recorder);
    if (corrected) {
      EXPECT_EQ(std::int64_t{backup.beginTime} - backup.enteredBeginTime, *c.seconds);
    }
  }
}

TEST_F(WindowTest, AClockOffsetIsRememberedForItsDiskOnlyWhenAsked) {
  WindowSettings::keepClockOffsetForDisk(QStringLiteral("/mnt/rec"), QStringLiteral("+00:02:13"));
  auto window = showWindow();
  auto* offset = window->findChild<QLineEdit*>(QStringLiteral("clockOffset"));
  auto* remember = window->findChild<QCheckBox*>(QStringLiteral("rememberClockOffset"));
  auto* disk = qobject_cast<QComboBox*>(window->control(ID_DRIVE_LIST));
  ASSERT_TRUE(offset && remember && disk);
  struct Step {
    const char* disk;
    const char* offset;
    bool remembered;
  };
  const Step steps[] = {{"/mnt/rec", "+00:02:13", true}, {"/mnt/other", "", false}, {"/mnt/rec", "+00:02:13", true}};
  for (const Step& step : steps) {
    disk->setEditText(QString::fromUtf8(step.disk));
    EXPECT_EQ(offset->text(), QString::fromUtf8(step.offset)) << step.disk;
    EXPECT_EQ(remember->isChecked(), step.remembered) << step.disk;
  }
  // Unticked, the offset is forgotten for the disk when the window closes.
  remember->setChecked(false);
  window->close();
  EXPECT_EQ(WindowSettings::clockOffsetForDisk(QStringLiteral("/mnt/rec")), QString());
}

}  // namespace
}  // namespace korvex
