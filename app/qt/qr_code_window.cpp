#include "app/qt/qr_code_window.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <utility>

namespace qt_window {

QrCodeWindow::QrCodeWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

void QrCodeWindow::ShowCode(const QString& address, QrMatrix code,
                            const std::optional<platform::ScreenRect>& area) {
  address_ = address;
  code_ = std::move(code);
  setWindowTitle(address);

  // On the projector the pad covers, where the class looks.
  const QScreen* screen =
      area ? QGuiApplication::screenAt(QPoint(area->x + area->width / 2, area->y + area->height / 2))
           : nullptr;
  if (screen == nullptr) {
    screen = parentWidget() != nullptr ? parentWidget()->screen() : this->screen();
  }
  const QRect screenArea = screen->geometry();
  // A screen turned upright is narrower than high: the code fits either way.
  modulePixels_ =
      ModulePixelsForScreen(code_.Side(), std::min(screenArea.width(), screenArea.height()));
  const int codePixels = code_.Side() * modulePixels_;
  // The address under the code, large enough to read off the wall too.
  QFont font = this->font();
  font.setPixelSize(std::max(16, codePixels / 16));
  setFont(font);
  const QFontMetrics metrics(font);
  const int width =
      std::min(screenArea.width(),
               std::max(codePixels, metrics.horizontalAdvance(address) + 2 * modulePixels_));
  const int room = width - 2 * modulePixels_;
  shownAddress_ = QString::fromStdString(
      ElideMiddle(address.toStdString(), [&metrics, room](const std::string& text) {
        return metrics.horizontalAdvance(QString::fromStdString(text)) <= room;
      }));
  const int height = codePixels + metrics.height() + modulePixels_;
  setFixedSize(width, height);
  move(screenArea.center() - QPoint(width / 2, height / 2));
  show();
  raise();
  activateWindow();
  setFocus();
  update();
}

QRect QrCodeWindow::CodeRect() const {
  const int codePixels = code_.Side() * modulePixels_;
  return QRect((width() - codePixels) / 2, 0, codePixels, codePixels);
}

// Fixed colours, not the palette's: a dark theme must not invert the code.
void QrCodeWindow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const QRect code = CodeRect();
  for (int y = 0; y < code_.Side(); ++y) {
    for (int x = 0; x < code_.Side(); ++x) {
      if (!code_.IsDark(x, y)) continue;
      painter.fillRect(code.left() + x * modulePixels_, code.top() + y * modulePixels_,
                       modulePixels_, modulePixels_, Qt::black);
    }
  }
  painter.setPen(Qt::black);
  painter.drawText(QRect(0, code.bottom() + 1, width(), height() - code.height()),
                   Qt::AlignHCenter | Qt::AlignTop, shownAddress_);
}

void QrCodeWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void QrCodeWindow::mousePressEvent(QMouseEvent* /*event*/) {
  close();
}

}  // namespace qt_window
