// The pointer overlay as an X server without a compositor shows it (xcb
// under Xvfb): dots at known places, screenshots, and a click through a dot.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <memory>
#include <tuple>
#include <vector>

#include "app/pointer_overlay_model.h"
#include "app/qt/pointer_overlay_window.h"
#include "platform/mouse_keys.h"

namespace {

const QColor kDesk(236, 236, 236);

struct QtEnvironment : testing::Environment {
  void SetUp() override { application_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { application_.reset(); }
  int argc_ = 1;
  char name_[24] = "pointer_overlay_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const kQt =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

// A window over the whole screen, below the overlay, that clicks must reach.
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

// The overlay on the primary screen over the desk, reading the test's sightings.
class PointerOverlayTest : public testing::Test {
 protected:
  PointerOverlayTest() {
    desk.setGeometry(screen);
    desk.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&desk));
    overlay.SetSelectedPointer(3);
    overlay.Switch(true);
  }

  // The pointer reported at (x, y) silentMs before now.
  PointerSighting& Sight(int pointer, int x, int y, std::uint32_t silentMs = 0) {
    PointerSighting& s = sightings.pointers[static_cast<std::size_t>(pointer)];
    s.reported = true;
    s.status.x = x;
    s.status.y = y;
    s.lastReportTick = sightings.now - silentMs;
    return s;
  }

  // The screen after the overlay's next frame.
  QImage Screenshot(bool refresh = true) {
    if (refresh) overlay.Refresh();
    QTest::qWait(100);
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  }
  // The colour of a dot's fill, just inside its top.
  QColor Fill(const QImage& shot, int x, int y) const {
    const QPoint at = Place(x, y);
    return shot.pixelColor(at.x(), at.y() - OverlayDotRadius(screen.height()) + 2);
  }
  QPoint Place(int x, int y) const {
    return {OverlayPixel(x, screen.left(), screen.width()),
            OverlayPixel(y, screen.top(), screen.height())};
  }

  PointerSightings sightings{100000};
  QRect screen = QGuiApplication::primaryScreen()->geometry();
  Desk desk;
  qt_window::PointerOverlayWindow overlay{[this](PointerSightings& read) { read = sightings; }};
};

TEST_F(PointerOverlayTest, DotsShowAtTheirPlacesLetClicksThroughAndLeaveWithSilence) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&overlay));
  EXPECT_TRUE(overlay.windowFlags() & Qt::WindowStaysOnTopHint);
  Sight(12, 8192, 57344, 1200);  // silent for more than a second: faded
  const std::tuple<int, int, int> dots[] = {
      {3, 16384, 16384}, {5, 49152, 16384}, {7, 32768, 49152}, {21, 57344, 40960}};
  for (const auto& [pointer, x, y] : dots) {
    PointerSighting& sighting = Sight(pointer, x, y);
    sighting.status.buttonL = pointer == 5;
    sighting.status.buttonR = pointer == 7;
  }
  std::array<std::string, kPointerCount> labels{};
  labels[21] = "21 Mia";
  overlay.SetLabels(labels, 1);
  const QImage shot = Screenshot();
  for (const auto& [pointer, x, y] : dots) {
    EXPECT_EQ(Fill(shot, x, y), QColor::fromRgb(DotColour(pointer))) << pointer;
  }
  // Pointer 21's name on its dark plate, right of the dot.
  OverlayDot named{21, Place(57344, 40960).x(), Place(57344, 40960).y()};
  named.labelWidth = named.labelHeight = 1;
  const OverlayRect plate = LabelBounds(named, OverlayDotRadius(screen.height()));
  EXPECT_EQ(shot.pixelColor(plate.left + 1, plate.top), QColor(32, 32, 32));
  // The faded dot is dimmed, not blended, yet there.
  const QColor faded = Fill(shot, 8192, 57344);
  EXPECT_NE(faded, QColor::fromRgb(DotColour(12)));
  EXPECT_NE(faded, kDesk);
  EXPECT_EQ(shot.pixelColor(Place(40000, 30000)), kDesk) << "nothing between the dots";
  const QRect around = QRect(Place(8192, 16384), Place(57344, 57344)).adjusted(-40, -40, 40, 40);
  shot.copy(around).save(TVX_OVERLAY_CAPTURE);

  // A click on pointer 3's dot lands on the desk below.
  ASSERT_TRUE(QTest::qWaitFor([] { return platform::MouseEmulationAvailable(); }, 10000));
  const QPoint three = Place(16384, 16384);
  const auto absolute = [](int pixel, int length) {
    return (pixel * 65535 + length / 2) / (length - 1);
  };
  ASSERT_TRUE(platform::SendMouseEvent(
      platform::kMouseMove | platform::kMouseAbsolute | platform::kMouseLeftDown,
      absolute(three.x(), screen.width()), absolute(three.y(), screen.height())));
  EXPECT_TRUE(platform::SendMouseEvent(platform::kMouseLeftUp, 0, 0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !desk.presses.empty(); }, 5000));
  EXPECT_LE((desk.presses.front() - three).manhattanLength(), 2);
  EXPECT_NE(QApplication::activeWindow(), &overlay);

  // Five seconds of silence take a dot away; switched off, the overlay shows none.
  sightings.now += kOverlayLeaveMs + 500;
  Sight(9, 32768, 32768);
  const QImage later = Screenshot();
  EXPECT_EQ(Fill(later, 16384, 16384), kDesk);
  EXPECT_EQ(Fill(later, 32768, 32768), QColor::fromRgb(DotColour(9)));
  overlay.Switch(false);
  EXPECT_FALSE(overlay.isVisible());
  EXPECT_EQ(Fill(Screenshot(false), 32768, 32768), kDesk);
}

}  // namespace
