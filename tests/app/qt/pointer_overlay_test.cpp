// The pointer overlay as an X server shows it: the real program's dialog
// with the overlay on, reports from pointers at known places, and a
// screenshot of the whole screen. Runs on xcb under Xvfb, which has no
// compositor: the dots show through the window's shape.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/application.h"
#include "platform/network_addresses.h"
#include "app/main_dialog.h"
#include "app/pointer_overlay_model.h"
#include "app/qt/pointer_overlay_window.h"
#include "app/qt/qt_dialog_view.h"
#include "platform/clock.h"
#include "platform/mouse_keys.h"
#include "platform/profile.h"
#include "platform/socket_client.h"
#include "tests/app/fake_mouse.h"
#include "tests/pointer/channel_fixture.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

namespace {

const QColor kDesk(236, 236, 236);

class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override { application_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[24] = "pointer_overlay_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const kQt =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

// A plain window over the whole screen, below the overlay: the desk that
// clicks must reach.
class Desk final : public QWidget {
 public:
  Desk() : QWidget(nullptr, Qt::FramelessWindowHint) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kDesk);
    setPalette(colours);
    setAutoFillBackground(true);
  }
  std::vector<QPoint> presses;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    presses.push_back(event->globalPosition().toPoint());
  }
};

class PointerOverlayTest : public testing::Test {
 protected:
  PointerOverlayTest() {
    std::uint16_t freePort = 0;
    platform::FindFreePort(freePort);
    port = freePort;
    for (const auto& [section, key, value] :
         {std::tuple{"Control", "Port", std::to_string(port)}, {"Control", "SelectedPointer", "3"},
          {"Control", "ShowPointers", "1"}, {"General", "Log", "FALSE"},
          {"Paths", "PathToIniFolder", folder.Path()}}) {
      platform::ProfileWriteString(paths.iniFile, section, key, value.c_str());
    }
    screen = QGuiApplication::primaryScreen()->geometry();
    desk.setGeometry(screen);
    desk.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&desk));
    app = std::make_unique<Application>(paths, profile, areaName);
    app->localAddresses = [] { return std::vector<platform::NetworkAddress>{
        {"192.0.2.7", "eth0", true, platform::AdapterKind::kEthernet}};
    };
    view = std::make_unique<QtDialogView>();
    dialog = std::make_unique<MainDialog>(*app, *view, mouse);
    view->Connect(*dialog);
    EXPECT_TRUE(dialog->OnInitDialog());
  }

  ~PointerOverlayTest() override {
    dialog->OnCancel();
    dialog->OnDestroy();
  }

  void Report(int pointer, int x, int y, bool buttonL = false, bool buttonR = false) {
    EXPECT_EQ(FetchBody(static_cast<std::uint16_t>(port),
                        ReportPath(pointer, ++frame, x, y, buttonL, buttonR, 0)),
              "0000");
  }

  // The screen as X shows it, after the overlay's next frame.
  QImage Screenshot(bool refresh = true) {
    if (refresh) overlay().Refresh();
    QTest::qWait(100);
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  }
  // The colour of a dot's fill, just inside its top.
  QColor Fill(const QImage& shot, int x, int y) const {
    const QPoint at = Place(x, y);
    return shot.pixelColor(at.x(), at.y() - Radius() + 2);
  }

  QPoint Place(int x, int y) const {
    return {OverlayPixel(x, screen.left(), screen.width()),
            OverlayPixel(y, screen.top(), screen.height())};
  }
  int Radius() const { return OverlayDotRadius(screen.height()); }

  qt_window::PointerOverlayWindow& overlay() { return *view->PointerOverlay(); }

  TempFolder folder;
  ProgramPaths paths = BuildProgramPaths(folder.File("TVXHandvane"));
  std::string profile = folder.File("Profile.INI");
  std::string areaName = UniqueAreaName();
  int port = 0;
  int frame = 0;
  QRect screen;
  Desk desk;
  FakeMouse mouse;
  std::unique_ptr<Application> app;
  std::unique_ptr<QtDialogView> view;
  std::unique_ptr<MainDialog> dialog;
};

TEST_F(PointerOverlayTest, EachDotShowsAtItsPlaceAndTheClickGoesThroughToTheWindowBelow) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&overlay()));
  EXPECT_TRUE(view->ShowPointersAction()->isChecked());
  EXPECT_EQ(overlay().geometry(), screen);
  EXPECT_TRUE(overlay().windowFlags() & Qt::WindowTransparentForInput);
  EXPECT_TRUE(overlay().windowFlags() & Qt::WindowStaysOnTopHint);

  Report(12, 8192, 57344);  // silent for a second and more by the screenshot
  QTest::qWait(1200);
  const std::tuple<int, int, int> dots[] = {
      {3, 16384, 16384}, {5, 49152, 16384}, {7, 32768, 49152}, {21, 57344, 40960}};
  for (const auto& [pointer, x, y] : dots) Report(pointer, x, y, pointer == 5, pointer == 7);
  // Two phones on one number, as their addresses tell.
  for (const std::uint32_t address : {0x7F000002u, 0x7F000003u}) {
    app->protocol.HandlePointerReport(ReportPath(40, ++frame, 24576, 36864, false, false, 0),
                                      address);
  }
  const QImage shot = Screenshot();
  for (const auto& [pointer, x, y] : dots) {
    EXPECT_EQ(Fill(shot, x, y), QColor::fromRgb(DotColour(pointer))) << pointer;
  }
  EXPECT_EQ(Fill(shot, 24576, 36864), QColor::fromRgb(DotColour(40)));
  // The faded dot is dimmed (no compositor blends it), yet there.
  const QColor faded = Fill(shot, 8192, 57344);
  EXPECT_NE(faded, QColor::fromRgb(DotColour(12)));
  EXPECT_NE(faded, kDesk);
  EXPECT_EQ(shot.pixelColor(Place(40000, 30000)), kDesk) << "nothing between the dots";
  const QRect around = QRect(Place(8192, 16384), Place(57344, 57344)).adjusted(-40, -40, 40, 40);
  shot.copy(around).save(TVX_OVERLAY_CAPTURE);

  // A click on the selected pointer's dot lands on the desk below.
  ASSERT_TRUE(QTest::qWaitFor([] { return platform::MouseEmulationAvailable(); }, 10000));
  const QPoint three = Place(16384, 16384);
  const auto absolute = [&](int pixel, int length) {
    return (pixel * 65535 + length / 2) / (length - 1);
  };
  ASSERT_TRUE(platform::SendMouseEvent(
      platform::kMouseMove | platform::kMouseAbsolute | platform::kMouseLeftDown,
      absolute(three.x(), screen.width()), absolute(three.y(), screen.height())));
  platform::SendMouseEvent(platform::kMouseLeftUp, 0, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !desk.presses.empty(); }, 5000));
  EXPECT_LE((desk.presses.front() - three).manhattanLength(), 2);
  EXPECT_NE(QApplication::activeWindow(), &overlay());
}

TEST_F(PointerOverlayTest, ASilentPointerLeavesAfterFiveSecondsAndTheSwitchHidesAll) {
  Report(9, 32768, 32768);
  EXPECT_EQ(Fill(Screenshot(), 32768, 32768), QColor::fromRgb(DotColour(9)));
  const std::uint32_t reported = platform::TickCount();
  overlay().SetClock([reported] { return reported + kOverlayLeaveMs - 300; });
  EXPECT_NE(Fill(Screenshot(), 32768, 32768), kDesk);
  overlay().SetClock([reported] { return reported + kOverlayLeaveMs + 500; });
  EXPECT_EQ(Fill(Screenshot(), 32768, 32768), kDesk);

  overlay().SetClock(nullptr);
  Report(9, 32768, 32768);
  view->ShowPointersAction()->trigger();  // the context menu's entry
  EXPECT_FALSE(overlay().isVisible());
  EXPECT_EQ(platform::ProfileReadString(paths.iniFile, "Control", "ShowPointers", "", 16), "0");
  EXPECT_EQ(Fill(Screenshot(false), 32768, 32768), kDesk);
}

}  // namespace
