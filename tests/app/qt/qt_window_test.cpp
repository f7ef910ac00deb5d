// The dialog in its Qt window with the real MainDialog and server, driven
// through the widgets with keys and clicks as the operator would.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/dialog_controls.h"
#include "app/main_dialog.h"
#include "app/qr_matrix.h"
#include "app/qt/pointer_overlay_window.h"
#include "app/qt/qr_code_window.h"
#include "app/qt/qt_dialog_view.h"
#include "app/server_session.h"
#include "app/window_placement.h"
#include "platform/profile.h"
#include "platform/socket_client.h"
#include "tests/app/fake_mouse.h"
#include "tests/pointer/channel_fixture.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

namespace {

class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    application_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "qt_window_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const kQt =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

// A program "installed" in a temp folder, opened in its window.
class QtWindowTest : public testing::Test {
 protected:
  QtWindowTest() {
    std::uint16_t freePort = 0;
    EXPECT_TRUE(platform::FindFreePort(freePort));
    port = freePort;
    WriteIni("General", "Log", "FALSE");
    WriteIni("Paths", "PathToIniFolder", folder.Path());
    WriteIni("Paths", "PathToWorkingDir", folder.Path());
    WriteIni("Control", "Port", std::to_string(port));
    WriteIni("Control", "SelectedPointer", "3");
  }

  ~QtWindowTest() override {
    if (dialog && window().isVisible()) dialog->OnCancel();
    if (dialog) dialog->OnDestroy();
  }

  void WriteIni(const char* section, const char* key, const std::string& value) {
    EXPECT_TRUE(platform::ProfileWriteString(paths.iniFile, section, key, value.c_str()));
  }

  void Open() {
    app = std::make_unique<Application>(paths, profile, areaName);
    app->localAddresses = [] {
      return std::vector<platform::NetworkAddress>{
          {"192.0.2.7", "eth0", true, platform::AdapterKind::kEthernet},
          {"198.51.100.3", "eth1", true, platform::AdapterKind::kEthernet}};
    };
    view = std::make_unique<QtDialogView>();
    session = std::make_unique<ServerSession>(*app, mouse);
    dialog = std::make_unique<MainDialog>(*session, *view, mouse);
    view->Connect(*dialog);
    ASSERT_TRUE(dialog->OnInitDialog());
    window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
  }

  QDialog& window() { return view->Window(); }

  template <typename Widget>
  Widget* Find(int id) {
    return qobject_cast<Widget*>(view->Control(id));
  }

  // Runs action, closing each message box it opens; "caption: text" of each.
  std::vector<std::string> ClosingMessageBoxes(const std::function<void()>& action) {
    std::vector<std::string> seen;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&seen] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen.push_back((box->windowTitle() + ": " + box->text()).toStdString());
        box->button(QMessageBox::Ok)->click();
      }
    });
    closer.start(10);
    action();
    return seen;
  }

  // One report of pointer at 4096, 8192; the reply's body.
  std::string Report(int pointer, int frame, int buttonL, int buttonR, int ackPacket = 0) {
    return FetchBody(
        static_cast<std::uint16_t>(port),
        ReportPath(pointer, frame, 0x1000, 0x2000, buttonL != 0, buttonR != 0, ackPacket));
  }

  // The colour in the middle of an indicator, as the screen shows it.
  QColor IndicatorColour(int id) {
    const QImage image = view->Control(id)->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
  }

  TempFolder folder;
  ProgramPaths paths = BuildProgramPaths(folder.File("TVXHandvane"));
  std::string profile = folder.File("Profile.INI");
  std::string areaName = UniqueAreaName();
  int port = 0;
  FakeMouse mouse;
  std::unique_ptr<Application> app;
  std::unique_ptr<QtDialogView> view;
  std::unique_ptr<ServerSession> session;
  std::unique_ptr<MainDialog> dialog;
};

TEST_F(QtWindowTest, OpensRunningAtTheStoredPlaceWithEightyPointersAndTheStoredSelection) {
  const WindowPlacementBytes stored = PackWindowPlacement({120, 40, 560, 620});
  EXPECT_TRUE(platform::ProfileWriteStruct(paths.iniFile, "General", "WindowPos", stored.data(),
                                           stored.size()));
  Open();

  EXPECT_TRUE(dialog->IsRunning());
  EXPECT_EQ(view->GetItemText(control::kStatus), "Working...");
  EXPECT_EQ(window().pos(), QPoint(120, 40));
  auto* pointers = Find<QComboBox>(control::kPointerList);
  EXPECT_EQ(pointers->count(), 80);
  EXPECT_EQ(pointers->currentText(), "Pointer 03");
  for (int id : {control::kBrowse, control::kDefaultIndexFile, control::kPort,
                 control::kPersistenceTimeout}) {
    EXPECT_FALSE(view->Control(id)->isEnabled()) << id;
  }
  EXPECT_TRUE(view->Control(control::kHomeDirectory)->hasFocus());
}

TEST_F(QtWindowTest, AReportOfTheSelectedPointerShowsInXYAndTheIndicators) {
  Open();
  EXPECT_EQ(IndicatorColour(control::kButtonLIndicator), QColor(210, 210, 210));

  EXPECT_EQ(Report(3, 1, 1, 0), "0000");
  EXPECT_TRUE(QTest::qWaitFor([&] { return view->GetItemText(control::kX) == "4096"; }, 10000));
  EXPECT_EQ(view->GetItemText(control::kY), "8192");
  EXPECT_EQ(IndicatorColour(control::kButtonLIndicator), QColor(0, 255, 0));
  EXPECT_EQ(IndicatorColour(control::kButtonRIndicator), QColor(210, 210, 210));
  window().grab().save(TVX_WINDOW_CAPTURE);

  Report(3, 2, 0, 1);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return IndicatorColour(control::kButtonRIndicator) == QColor(255, 0, 0); }, 10000));
  EXPECT_EQ(IndicatorColour(control::kButtonLIndicator), QColor(210, 210, 210));
}

TEST_F(QtWindowTest, StartWhileRunningAndStopWhileStoppedShowTheirMessageBoxes) {
  Open();
  auto* start = Find<QPushButton>(control::kStart);
  auto* stop = Find<QPushButton>(control::kStop);

  EXPECT_EQ(ClosingMessageBoxes([&] { QTest::mouseClick(start, Qt::LeftButton); }),
            std::vector<std::string>{"TVXHandvane: Server Already Launched"});
  EXPECT_TRUE(dialog->IsRunning());

  EXPECT_TRUE(ClosingMessageBoxes([&] { QTest::mouseClick(stop, Qt::LeftButton); }).empty());
  EXPECT_EQ(view->GetItemText(control::kStatus), "Stopped.");
  EXPECT_EQ(ClosingMessageBoxes([&] { QTest::mouseClick(stop, Qt::LeftButton); }),
            std::vector<std::string>{"TVXHandvane: Server not Launched"});
}

TEST_F(QtWindowTest, ChoosingPointer07IsStoredAtOnceAndItsPhoneGetsTheVibrate) {
  Open();
  auto* pointers = Find<QComboBox>(control::kPointerList);
  pointers->setFocus();
  for (int step = 0; step < 4; ++step) QTest::keyClick(pointers, Qt::Key_Down);
  EXPECT_EQ(pointers->currentText(), "Pointer 07");
  EXPECT_EQ(platform::ProfileReadString(paths.iniFile, "Control", "SelectedPointer", "", 16), "7");

  EXPECT_EQ(Report(7, 1, 0, 0), "0000");
  QTest::mouseClick(Find<QPushButton>(control::kVibrateShortSingle + 1), Qt::LeftButton);
  EXPECT_EQ(Report(7, 2, 0, 0), "01A1");
  EXPECT_EQ(Report(7, 3, 0, 0, 0x01), "0100");
}

// What zbarimg reads in an image file; empty when it finds no code.
std::string DecodeQrCodes(const std::string& imageFile) {
  std::string decoded;
  if (std::FILE* pipe = popen((TVX_ZBARIMG " --quiet --raw " + imageFile).c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) decoded += buffer;
    pclose(pipe);
  }
  while (!decoded.empty() && decoded.back() == '\n') decoded.pop_back();
  return decoded;
}

TEST_F(QtWindowTest, AddressLineFollowsThePortAndItsClickShowsACodeThatDecodesToIt) {
  Open();
  auto* line = Find<QLabel>(control::kPhoneAddress);
  EXPECT_TRUE(line->text().startsWith(
      QString::fromStdString("Phones open http://192.0.2.7:" + std::to_string(port) + "/")))
      << line->text().toStdString();

  QTest::mouseClick(Find<QPushButton>(control::kStop), Qt::LeftButton);
  std::uint16_t otherPort = 0;
  EXPECT_TRUE(platform::FindFreePort(otherPort));
  Find<QLineEdit>(control::kPort)->setText(QString::number(otherPort));
  QTest::mouseClick(Find<QPushButton>(control::kStart), Qt::LeftButton);
  const std::string address = "http://192.0.2.7:" + std::to_string(otherPort) + "/";
  EXPECT_TRUE(line->text().startsWith(QString::fromStdString("Phones open " + address)));

  QTest::mouseClick(line, Qt::LeftButton);
  QWidget* code = view->QrWindow();
  ASSERT_NE(code, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(code));
  EXPECT_GE(code->height() * 10, code->screen()->geometry().height() * 6);
  ASSERT_TRUE(code->grab().save(TVX_QR_CAPTURE));
  EXPECT_EQ(DecodeQrCodes(TVX_QR_CAPTURE), address);

  QTest::keyClick(code, Qt::Key_Escape);
  EXPECT_FALSE(code->isVisible());
  QTest::mouseClick(line, Qt::LeftButton);
  EXPECT_TRUE(code->isVisible());
  QTest::mouseClick(code, Qt::LeftButton);
  EXPECT_FALSE(code->isVisible());

  // A double click's second press activates the dialog; its release shows
  // the code in front again. Escape on the dialog closes only the code.
  QTest::mouseClick(line, Qt::LeftButton);
  window().activateWindow();
  QTest::mouseDClick(line, Qt::LeftButton);
  QTest::mouseRelease(line, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitForWindowActive(code));
  QTest::keyClick(&window(), Qt::Key_Escape);
  EXPECT_FALSE(code->isVisible());
  EXPECT_TRUE(window().isVisible());
  EXPECT_TRUE(dialog->IsRunning());

  // The code goes with its address.
  QTest::mouseClick(line, Qt::LeftButton);
  EXPECT_TRUE(code->isVisible());
  QTest::mouseClick(Find<QPushButton>(control::kStop), Qt::LeftButton);
  EXPECT_FALSE(code->isVisible());
}

// The window keeps within the screen; a long address under the code loses its middle.
TEST(QrCodeWindowTest, FitsTheScreenAndCutsALongAddressInTheMiddle) {
  const QString address = "http://192.0.2.7:8080/?key=" + QString(120, 'k') + "END";
  qt_window::QrCodeWindow window(nullptr);
  window.ShowCode(address, QrMatrix::Encode(address.toStdString()), std::nullopt);
  EXPECT_LE(window.width(), window.screen()->geometry().width());
  EXPECT_LE(window.height(), window.screen()->geometry().height());
  const QString shown = window.ShownAddress();
  EXPECT_TRUE(shown.startsWith("http://192.0.2.7:8080") && shown.contains("...") &&
              shown.endsWith("kkkEND"))
      << shown.toStdString();
  window.ShowCode("http://192.0.2.7:8080/", QrMatrix::Encode("http://192.0.2.7:8080/"),
                  std::nullopt);
  EXPECT_EQ(window.ShownAddress(), "http://192.0.2.7:8080/");
}

// The context menu lists the monitors as they are when it opens; the overlay,
// on as the INI says, follows the choice, and the menu's entry switches it off.
TEST_F(QtWindowTest, CursorScreenIsChosenInTheContextMenuAndTheOverlayFollows) {
  WriteIni("Control", "ShowPointers", "1");
  mouse.monitors = {{{0, 0, 640, 480}, true}, {{640, 0, 320, 240}, false}};
  Open();
  QMenu* menu = view->CursorScreenMenu();
  ASSERT_NE(menu, nullptr);
  const auto entries = [menu] {
    Q_EMIT menu->aboutToShow();
    std::vector<std::string> shown;
    for (QAction* entry : menu->actions()) {
      shown.push_back((entry->isChecked() ? "* " : "") + entry->text().toStdString());
    }
    return shown;
  };
  EXPECT_EQ(entries(), (std::vector<std::string>{"* Primary", "Monitor 1 (640x480 at 0,0)",
                                                 "Monitor 2 (320x240 at 640,0)", "All"}));
  QWidget* overlay = view->PointerOverlay();
  EXPECT_TRUE(QTest::qWaitFor([&] { return overlay->geometry() == QRect(0, 0, 640, 480); }));

  menu->actions()[2]->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return overlay->geometry() == QRect(640, 0, 320, 240); }));
  mouse.monitors.push_back({{960, 0, 800, 600}, false});
  EXPECT_EQ(entries()[2], "* Monitor 2 (320x240 at 640,0)");
  menu->actions()[4]->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return overlay->geometry() == QRect(0, 0, 1760, 600); }));

  EXPECT_TRUE(overlay->isVisible());
  ASSERT_TRUE(view->ShowPointersAction()->isChecked());
  view->ShowPointersAction()->trigger();
  EXPECT_FALSE(overlay->isVisible());
}

// The window with its open menus over it, as the screen shows them.
QImage WithMenus(QWidget& window, const std::vector<QWidget*>& menus) {
  QRect area = window.geometry();
  for (QWidget* menu : menus) area |= menu->geometry();
  QImage picture(area.size(), QImage::Format_RGB32);
  picture.fill(QColor(64, 64, 64));
  QPainter painter(&picture);
  painter.drawPixmap(window.geometry().topLeft() - area.topLeft(), window.grab());
  for (QWidget* menu : menus) {
    painter.drawPixmap(menu->geometry().topLeft() - area.topLeft(), menu->grab());
  }
  return picture;
}

// The operator's way in: the window's context menu, then the keys, to the
// second monitor.
TEST_F(QtWindowTest, ARightClickOpensTheMenuWhoseCursorScreenEntryChoosesAMonitor) {
  mouse.monitors = {{{0, 0, 640, 480}, true}, {{640, 0, 320, 240}, false}};
  Open();
  std::vector<std::string> entries;
  QImage picture;
  bool done = false;
  QTimer::singleShot(0, &window(), [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    done = true;
    if (menu == nullptr) return;
    for (QAction* entry : menu->actions()) entries.push_back(entry->text().toStdString());
    QMenu* screens = view->CursorScreenMenu();
    menu->setActiveAction(screens->menuAction());
    QTest::keyClick(menu, Qt::Key_Right);
    if (!QTest::qWaitFor([&] { return screens->isVisible(); })) {
      menu->close();
      return;
    }
    picture = WithMenus(window(), {menu, screens});
    QTest::keyClick(screens, Qt::Key_Down);
    QTest::keyClick(screens, Qt::Key_Down);
    QTest::keyClick(screens, Qt::Key_Return);
  });
  // What a right click near the window's corner gives the window.
  const QPoint corner(4, 4);
  QContextMenuEvent click(QContextMenuEvent::Mouse, corner, window().mapToGlobal(corner));
  QApplication::sendEvent(&window(), &click);
  ASSERT_TRUE(QTest::qWaitFor([&] { return done; }));
  EXPECT_EQ(entries, (std::vector<std::string>{"Show pointers on the screen",
                                               "Show the pointers' names",
                                               "Rename the selected pointer...",
                                               "Free the selected number", "Cursor screen"}));
  EXPECT_EQ(platform::ProfileReadString(paths.iniFile, "Control", "CursorScreen", "", 16), "2");
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  ASSERT_FALSE(picture.isNull());
  EXPECT_TRUE(picture.save(TVX_MENU_CAPTURE));
}

TEST_F(QtWindowTest, EnterInTheHomeDirectoryFieldEndsTheProgramAndKeepsThePlace) {
  Open();
  window().move(150, 60);
  QTest::keyClick(Find<QLineEdit>(control::kHomeDirectory), Qt::Key_Return);

  EXPECT_FALSE(window().isVisible());
  EXPECT_EQ(window().result(), MainDialog::kIdOk);
  EXPECT_FALSE(dialog->IsRunning());
  WindowPlacementBytes stored{};
  ASSERT_TRUE(platform::ProfileReadStruct(paths.iniFile, "General", "WindowPos", stored.data(),
                                          stored.size()));
  const std::optional<NormalRectangle> normal = UnpackWindowPlacement(stored);
  ASSERT_TRUE(normal.has_value());
  EXPECT_EQ(normal->left, 150);
  EXPECT_EQ(normal->top, 60);
  EXPECT_EQ(normal->right - normal->left, window().frameGeometry().width());
}

// Each field lands in its own control; the edit fields only when the dialog
// pushes them, never over the operator's typing.
TEST(QtDialogViewTest, RendersEachFieldInItsOwnControl) {
  QtDialogView view;
  DialogState state;
  state.statusText = "Working...";
  state.statistics = {"3", "4", "5", "6", "7", "8"};
  state.live = {"1", "2", true, false, true};
  state.cursorEmulation = true;
  state.selectedPointer = 42;
  state.fields.port = 8123;
  state.fieldsPushed = 1;
  view.Render(state);
  const std::pair<int, const char*> expected[] = {{control::kStatus, "Working..."},
                                                  {control::kActiveConnections, "3"},
                                                  {control::kKbReceived, "4"},
                                                  {control::kKbSent, "5"},
                                                  {control::kRequests, "6"},
                                                  {control::kRequestsPerSecond, "7"},
                                                  {control::kVisitors, "8"},
                                                  {control::kX, "1"},
                                                  {control::kY, "2"},
                                                  {control::kPort, "8123"}};
  for (const auto& [control, text] : expected)
    EXPECT_EQ(view.GetItemText(control), text) << control;
  for (const int id : {control::kOffScreen, control::kCursorEmulation}) {
    EXPECT_TRUE(qobject_cast<QAbstractButton*>(view.Control(id))->isChecked()) << id;
  }
  EXPECT_EQ(qobject_cast<QComboBox*>(view.Control(control::kPointerList))->currentText(),
            "Pointer 42");

  qobject_cast<QLineEdit*>(view.Control(control::kPort))->setText("9");
  state.fields.port = 7000;
  view.Render(state);
  EXPECT_EQ(view.GetItemText(control::kPort), "9");
  ++state.fieldsPushed;
  view.Render(state);
  EXPECT_EQ(view.GetItemText(control::kPort), "7000");
}

}  // namespace
