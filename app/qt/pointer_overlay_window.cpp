#include "app/qt/pointer_overlay_window.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace qt_window {

namespace {

constexpr int kFallbackFrameMs = kOverlayMinFrameMs;

// A disc's ellipse in the window's pixels; none for an empty square.
QRegion Ellipse(const OverlayRect& square, const OverlayRect& screen) {
  if (square.IsEmpty()) return {};
  return QRegion(square.left - screen.left, square.top - screen.top, square.Width(),
                 square.Height(), QRegion::Ellipse);
}

// A dark plate with the name in light letters, in the window system's
// fonts, which know every script; a long name ends in an ellipsis.
OverlayLabel NamePlate(const std::string& utf8, int radius) {
  const QString name = QString::fromStdString(utf8);
  const int height = OverlayLabelHeight(radius);
  QFont font;
  font.setPixelSize(std::max(8, height * 3 / 4));
  const QFontMetrics metrics(font);
  const int pad = std::max(2, height / 4);
  const int width =
      std::min(OverlayLabelMaxWidth(radius), metrics.horizontalAdvance(name) + 2 * pad);
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor(32, 32, 32));
  QPainter painter(&image);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(pad, 0, width - 2 * pad, height), Qt::AlignVCenter | Qt::AlignLeft,
                   metrics.elidedText(name, Qt::ElideRight, width - 2 * pad));
  painter.end();
  OverlayLabel label;
  label.width = width;
  label.height = height;
  label.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
    std::copy_n(row, width, label.pixels.begin() + static_cast<std::ptrdiff_t>(y) * width);
  }
  return label;
}

int FramePeriodMs(const QScreen* screen) {
  const double rate = screen != nullptr ? screen->refreshRate() : 0;
  if (rate < 20 || rate > 500) return kFallbackFrameMs;
  return std::max(kOverlayMinFrameMs, static_cast<int>(std::floor(1000 / rate)));
}

}  // namespace

QRect PointerOverlayWindow::ScreenArea() const {
  if (area_) return QRect(area_->x, area_->y, area_->width, area_->height);
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry() : QRect();
}

PointerOverlayWindow::PointerOverlayWindow(SightingsReader read)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint),
      read_(std::move(read)),
      plates_(NamePlate) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
  setWindowTitle(QStringLiteral("TVXHandvane pointers"));
  frameTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&frameTimer_, &QTimer::timeout, this, [this] { Refresh(); });
}

void PointerOverlayWindow::Switch(bool on) {
  if (on == isVisible()) return;
  if (!on) {
    frameTimer_.stop();
    hide();
    return;
  }
  PlaceOnScreen(ScreenArea());
  Refresh();
  show();
  frameTimer_.start(FramePeriodMs(screen()));
}

// Follows the area's place and size: another choice of screen, a monitor
// plugged in, unplugged or set to another resolution.
void PointerOverlayWindow::PlaceOnScreen(const QRect& screen) {
  if (geometry() == screen) return;
  setGeometry(screen);
  if (QScreen* shown = QGuiApplication::screenAt(screen.center())) {
    frameTimer_.setInterval(FramePeriodMs(shown));
  }
}

void PointerOverlayWindow::Refresh() {
  const QRect screen = ScreenArea();
  if (screen.isEmpty()) return;
  PlaceOnScreen(screen);
  read_(sightings_);
  const std::uint32_t now = clock_ ? clock_() : sightings_.now;
  const OverlayRect area{screen.left(), screen.top(), screen.left() + screen.width(),
                         screen.top() + screen.height()};
  const OverlayLabels& plates = plates_.For(OverlayDotRadius(area.Height()));
  canvas_.SetLabels(&plates);
  BuildOverlayFrame(sightings_, now, selectedPointer_, area, frame_, &plates);
  canvas_.Paint(frame_, changes_);
  if (changes_.count == 0) return;
  if (image_.width() != canvas_.Width() || image_.height() != canvas_.Height() ||
      image_.constBits() != reinterpret_cast<const uchar*>(canvas_.Pixels())) {
    image_ = QImage(reinterpret_cast<const uchar*>(canvas_.Pixels()), canvas_.Width(),
                    canvas_.Height(), canvas_.Width() * 4, QImage::Format_ARGB32_Premultiplied);
  }
  // Without a compositor the window's transparent pixels would show black:
  // the window takes the dots' shape.
  setMask(DotsShape());
  QRegion changed;
  for (int i = 0; i < changes_.count; ++i) {
    const OverlayRect& r = changes_.rects[static_cast<std::size_t>(i)];
    changed += QRect(r.left, r.top, r.Width(), r.Height());
  }
  update(changed);  // painted once, at the next frame
}

QRegion PointerOverlayWindow::DotsShape() {
  QRegion shape;
  for (int i = 0; i < frame_.count; ++i) {
    const OverlayDot& dot = frame_.dots[static_cast<std::size_t>(i)];
    shape += ShapeAtOrigin(dot).translated(dot.x - frame_.screen.left, dot.y - frame_.screen.top);
  }
  // An empty mask would mean none: one transparent pixel stands for no dots.
  return shape.isEmpty() ? QRegion(0, 0, 1, 1) : shape;
}

const QRegion& PointerOverlayWindow::ShapeAtOrigin(const OverlayDot& dot) {
  Shape& cached = shapes_[static_cast<std::size_t>(dot.pointer)];
  OverlayDot look = dot;
  look.x = look.y = 0;
  if (cached.radius == frame_.radius && cached.look == look && !cached.region.isEmpty()) {
    return cached.region;
  }
  const OverlayRect origin{};
  const OverlayDotShape discs = DotShape(look, frame_.radius);
  QRegion shape = Ellipse(discs.dot, origin);
  shape += Ellipse(discs.badge, origin);
  if (!discs.label.IsEmpty()) {
    shape += QRect(discs.label.left, discs.label.top, discs.label.Width(), discs.label.Height());
  }
  if (!discs.buttons.IsEmpty()) {
    QRegion held = Ellipse(discs.buttons, origin);
    const int reach = 4 * (discs.buttons.Width() + 1);
    if (!look.buttonR) held &= QRect(-reach, -reach, reach, 2 * reach);  // the left half
    if (!look.buttonL) held &= QRect(0, -reach, reach, 2 * reach);       // the right half
    shape += held;
  }
  cached = {look, frame_.radius, shape};
  return cached.region;
}

void PointerOverlayWindow::paintEvent(QPaintEvent* event) {
  if (image_.isNull()) return;
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  for (const QRect& rect : event->region()) painter.drawImage(rect, image_, rect);
}

}  // namespace qt_window
