#include "app/qt/qt_dialog_view.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "app/dialog_controls.h"
#include "app/main_dialog.h"
#include "app/dialog_template.h"
#include "app/qt/address_label.h"
#include "app/qt/dialog_window.h"
#include "app/qt/indicator_box.h"
#include "app/qt/pointer_overlay_window.h"
#include "app/qt/qr_code_window.h"
#include "app/window_placement.h"
#include "common/pointer_limits.h"
#include "http/favicon.h"
#include "pointer/vibrations.h"

namespace {

using dialog_template::ControlKind;
using dialog_template::ControlTemplate;

const QColor kButtonLDown(0, 255, 0);
const QColor kButtonRDown(255, 0, 0);
const QColor kButtonUp(210, 210, 210);
// A closed drop-down list: the template's height includes the opened list.
constexpr int kClosedListHeightUnits = 13;

QString ToQt(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) {
  return text.toLocal8Bit().toStdString();
}

// Dialog units in pixels of the window's font: a horizontal unit is a
// quarter of the average character width, a vertical one an eighth of the
// character height, so the layout keeps its proportions with any font. A
// font whose captions run wider than the template's stretches the whole
// layout across, never one control alone.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const QString alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    baseX_ = metrics.horizontalAdvance(alphabet) / alphabet.size();
    baseY_ = metrics.height();
  }

  // Widens the units until a caption needing that many pixels fits widthUnits.
  void Fit(double pixels, int widthUnits) { baseX_ = std::max(baseX_, pixels * 4 / widthUnits); }

  QRect ToPixels(int x, int y, int width, int height) const {
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
  }
  int X(int units) const { return static_cast<int>(std::lround(units * baseX_ / 4)); }
  int Y(int units) const { return static_cast<int>(std::lround(units * baseY_ / 8)); }

 private:
  double baseX_ = 6;
  double baseY_ = 13;
};

// Pixels a control's one-line caption needs; 0 where nothing must fit.
double CaptionWidth(const ControlTemplate& item, const QWidget& widget) {
  switch (item.kind) {
    case ControlKind::kLabel:
    case ControlKind::kCheckBoxTextLeft:
      return widget.sizeHint().width();
    case ControlKind::kButton: {
      // Styles give buttons a minimum width of their own; only the text counts.
      const QFontMetricsF metrics(widget.font());
      return metrics.horizontalAdvance(QString::fromLatin1(item.caption).remove('&')) +
             2 * metrics.averageCharWidth();
    }
    default:
      return 0;
  }
}

QIcon ProgramIcon() {
  const std::string_view ico = FaviconData();
  QByteArray bytes(ico.data(), static_cast<qsizetype>(ico.size()));
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer, "ico");
  QIcon icon;
  for (QImage image = reader.read(); !image.isNull(); image = reader.read()) {
    icon.addPixmap(QPixmap::fromImage(image));
    if (!reader.jumpToNextImage()) break;
  }
  return icon;
}

QWidget* CreateControl(const ControlTemplate& item, QWidget* parent) {
  const QString caption = QString::fromLatin1(item.caption);
  switch (item.kind) {
    case ControlKind::kGroupBox:
      return new QGroupBox(caption, parent);
    case ControlKind::kLabel:
      return new QLabel(caption, parent);
    case ControlKind::kSunkenLabel: {
      auto* label = new QLabel(caption, parent);
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      return label;
    }
    case ControlKind::kAddressLine:
      return new qt_window::AddressLabel(caption, parent);
    case ControlKind::kEdit:
      return new QLineEdit(parent);
    case ControlKind::kButton: {
      auto* button = new QPushButton(caption, parent);
      button->setAutoDefault(false);  // no button is the default one
      return button;
    }
    case ControlKind::kCheckBoxTextLeft: {
      auto* box = new QCheckBox(caption, parent);
      box->setLayoutDirection(Qt::RightToLeft);
      return box;
    }
    case ControlKind::kComboBox:
      return new QComboBox(parent);
    case ControlKind::kIndicator:
      return new qt_window::IndicatorBox(parent);
  }
  return nullptr;
}

}  // namespace

QtDialogView::QtDialogView() : window_(std::make_unique<qt_window::DialogWindow>()) {
  window_->setWindowTitle(QString::fromLatin1(dialog_template::kDialogCaption));
  window_->setWindowIcon(ProgramIcon());
  BuildControls();
}

QtDialogView::~QtDialogView() = default;

void QtDialogView::BuildControls() {
  DialogUnits units(window_->font());
  std::vector<std::pair<const ControlTemplate*, QWidget*>> created;
  for (const ControlTemplate& item : dialog_template::DialogControls()) {
    QWidget* widget = CreateControl(item, window_.get());
    widget->setEnabled(!item.disabled);
    if (item.id != 0) controls_[item.id] = widget;
    units.Fit(CaptionWidth(item, *widget), item.width);
    created.emplace_back(&item, widget);
  }
  for (const auto& [item, widget] : created) {
    const int height = item->kind == ControlKind::kComboBox ? kClosedListHeightUnits : item->height;
    widget->setGeometry(units.ToPixels(item->x, item->y, item->width, height));
  }
  window_->setFixedSize(units.X(dialog_template::kDialogWidthUnits),
                        units.Y(dialog_template::kDialogHeightUnits));
  pointerList_ = static_cast<QComboBox*>(controls_.at(control::kPointerList));
  buttonLIndicator_ =
      static_cast<qt_window::IndicatorBox*>(controls_.at(control::kButtonLIndicator));
  buttonRIndicator_ =
      static_cast<qt_window::IndicatorBox*>(controls_.at(control::kButtonRIndicator));
  addressLine_ = static_cast<qt_window::AddressLabel*>(controls_.at(control::kPhoneAddress));
  FillPointerList();
}

// "Pointer 00" to "Pointer 79": zero-padded, so the sorted list has
// pointer n at entry n.
void QtDialogView::FillPointerList() {
  for (int i = 0; i < kPointerCount; ++i) {
    pointerList_->addItem(QString::asprintf("Pointer %02d", i));
  }
}

// "Pointer 17 Mia" where the dialog shows names.
void QtDialogView::LabelPointerList(const DialogState& state) {
  if (labelsShown_ == state.labelsChanged) return;
  labelsShown_ = state.labelsChanged;
  for (int i = 0; i < kPointerCount; ++i) {
    const QString text =
        QStringLiteral("Pointer ") +
        QString::fromStdString(state.pointerLabels[static_cast<std::size_t>(i)]);
    if (pointerList_->itemText(i) != text) pointerList_->setItemText(i, text);
  }
}

// The teacher's hand on the selected pointer, in the context menu.
void QtDialogView::AddTeacherActions(DialogIntents& dialog) {
  showNamesAction_ = new QAction(QStringLiteral("Show the pointers' names"), window_.get());
  showNamesAction_->setCheckable(true);
  window_->addAction(showNamesAction_);
  QObject::connect(showNamesAction_, &QAction::triggered, window_.get(), [&dialog](bool checked) {
    dialog.SetPointerLabels(checked ? PointerLabels::kNames : PointerLabels::kNumbers);
  });
  auto* rename = new QAction(QStringLiteral("Rename the selected pointer..."), window_.get());
  window_->addAction(rename);
  QObject::connect(rename, &QAction::triggered, window_.get(), [this, &dialog] {
    const DialogState& state = dialog.State();
    const int pointer = state.selectedPointer;
    const std::string& label = state.pointerLabels[static_cast<std::size_t>(pointer)];
    bool ok = false;
    const QString name = QInputDialog::getText(
        window_.get(), QString::asprintf("Rename pointer %02d", pointer),
        QStringLiteral("Name (up to 24 characters; empty: none):"), QLineEdit::Normal,
        label.size() > 3 ? QString::fromStdString(label.substr(3)) : QString(), &ok);
    if (ok) dialog.RenamePointer(pointer, name.toStdString());
  });
  auto* release = new QAction(QStringLiteral("Free the selected number"), window_.get());
  window_->addAction(release);
  QObject::connect(release, &QAction::triggered, window_.get(),
                   [&dialog] { dialog.FreeNumber(dialog.State().selectedPointer); });
}

void QtDialogView::Connect(DialogIntents& dialog) {
  const auto onClick = [this](int id, auto handler) {
    QObject::connect(static_cast<QPushButton*>(controls_.at(id)), &QPushButton::clicked,
                     window_.get(), handler);
  };
  onClick(control::kStart, [&dialog] { dialog.Start(); });
  onClick(control::kStop, [&dialog] { dialog.Stop(); });
  onClick(control::kReset, [&dialog] { dialog.Reset(); });
  onClick(control::kBrowse, [&dialog] { dialog.BrowseForHomeDirectory(); });
  onClick(control::kReReadFiles, [&dialog] { dialog.ReloadPage(); });
  onClick(control::kOk, [&dialog] { dialog.OnOK(); });
  for (int i = 0; i < static_cast<int>(std::size(kVibrations)); ++i) {
    const int code = kVibrations[i].code;
    onClick(control::kVibrateShortSingle + i, [&dialog, code] { dialog.Vibrate(code); });
  }
  QObject::connect(static_cast<QCheckBox*>(controls_.at(control::kCursorEmulation)),
                   &QCheckBox::clicked, window_.get(),
                   [&dialog](bool checked) { dialog.SetCursorEmulation(checked); });
  QObject::connect(pointerList_, &QComboBox::activated, window_.get(),
                   [&dialog](int entry) { dialog.SelectPointer(entry); });
  QObject::connect(&timer_, &QTimer::timeout, window_.get(), [&dialog] { dialog.Tick(); });
  addressLine_->onClick = [&dialog] { dialog.ShowPhoneAddressCode(); };
  // The overlay's switch lives in the window's context menu: no control of
  // the template moves for it.
  showPointersAction_ = new QAction(QStringLiteral("Show pointers on the screen"), window_.get());
  showPointersAction_->setCheckable(true);
  window_->addAction(showPointersAction_);
  window_->setContextMenuPolicy(Qt::ActionsContextMenu);
  QObject::connect(showPointersAction_, &QAction::triggered, window_.get(),
                   [&dialog](bool checked) { dialog.SetPointerOverlay(checked); });
  AddTeacherActions(dialog);
  // The monitors as they are when the menu opens.
  cursorScreenMenu_ = new QMenu(QStringLiteral("Cursor screen"), window_.get());
  window_->addAction(cursorScreenMenu_->menuAction());
  QObject::connect(cursorScreenMenu_, &QMenu::aboutToShow, window_.get(), [this, &dialog] {
    cursorScreenMenu_->clear();
    for (const CursorScreenChoice& choice : dialog.CursorScreenChoices()) {
      QAction* entry = cursorScreenMenu_->addAction(ToQt(choice.caption));
      entry->setCheckable(true);
      entry->setChecked(choice.chosen);
      const CursorScreen screen = choice.screen;
      QObject::connect(entry, &QAction::triggered, window_.get(),
                       [&dialog, screen] { dialog.SetCursorScreen(screen); });
    }
  });
  const auto followScreen = [this, &dialog](QScreen* screen) {
    QObject::connect(screen, &QScreen::geometryChanged, window_.get(),
                     [&dialog] { dialog.MonitorsChanged(); });
  };
  for (QScreen* screen : QGuiApplication::screens()) followScreen(screen);
  auto* application = static_cast<QGuiApplication*>(QGuiApplication::instance());
  QObject::connect(application, &QGuiApplication::screenAdded, window_.get(),
                   [&dialog, followScreen](QScreen* screen) {
                     followScreen(screen);
                     dialog.MonitorsChanged();
                   });
  QObject::connect(application, &QGuiApplication::screenRemoved, window_.get(),
                   [&dialog] { dialog.MonitorsChanged(); });
  overlay_ = std::make_unique<qt_window::PointerOverlayWindow>(
      [&dialog](PointerSightings& sightings) { dialog.ReadPointerSightings(sightings); });
  window_->onOk = [&dialog] { dialog.OnOK(); };
  window_->onCancel = [&dialog] { dialog.OnCancel(); };
  window_->onEscape = [&dialog] { dialog.OnEscape(); };
}

int QtDialogView::Exec() {
  return window_->exec();
}

QDialog& QtDialogView::Window() {
  return *window_;
}

QWidget* QtDialogView::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

// Only a changed text is written: a label repaints, an edit field loses
// the operator's cursor place on every write.
void QtDialogView::SetItemText(int control, const std::string& text) {
  QWidget* widget = Control(control);
  const QString shown = ToQt(text);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    if (edit->text() != shown) edit->setText(shown);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (label->text() != shown) label->setText(shown);
  }
}

void QtDialogView::Render(const DialogState& state) {
  for (const auto& [id, text] : dialog_template::ShownTexts(state)) {
    SetItemText(id, id == control::kPhoneAddress ? addressText_.Text(text) : text);
  }
  RepaintIndicators(state.live.buttonL, state.live.buttonR);
  CheckBox(control::kOffScreen, state.live.offScreen);
  CheckBox(control::kCursorEmulation, state.cursorEmulation);
  LabelPointerList(state);
  if (showNamesAction_ != nullptr) showNamesAction_->setChecked(state.labels == PointerLabels::kNames);
  if (pointerList_->currentIndex() != state.selectedPointer) {
    pointerList_->setCurrentIndex(state.selectedPointer);
  }
  cursorScreenArea_ = state.cursorScreenArea;
  if (overlay_) {
    showPointersAction_->setChecked(state.showPointers);
    overlay_->SetSelectedPointer(state.selectedPointer);
    overlay_->SetLabels(state.pointerLabels, state.labelsChanged);
    overlay_->SetScreenArea(state.cursorScreenArea);
    overlay_->Switch(state.showPointers);
  }
  if (fieldsPushed_ != state.fieldsPushed) {
    fieldsPushed_ = state.fieldsPushed;
    for (const auto& [id, text] : dialog_template::FieldControlTexts(state.fields)) {
      SetItemText(id, text);
    }
  }
}

std::optional<FieldTexts> QtDialogView::TakeFieldTexts() {
  return FieldTexts{GetItemText(control::kHomeDirectory), GetItemText(control::kDefaultIndexFile),
                    GetItemText(control::kPort), GetItemText(control::kPersistenceTimeout)};
}

std::string QtDialogView::GetItemText(int control) const {
  QWidget* widget = Control(control);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return FromQt(edit->text());
  if (auto* label = qobject_cast<QLabel*>(widget)) return FromQt(label->text());
  return {};
}

void QtDialogView::CheckBox(int control, bool checked) {
  if (auto* box = qobject_cast<QCheckBox*>(Control(control))) box->setChecked(checked);
}

void QtDialogView::RepaintIndicators(bool buttonL, bool buttonR) {
  buttonLIndicator_->SetColor(buttonL ? kButtonLDown : kButtonUp);
  buttonRIndicator_->SetColor(buttonR ? kButtonRDown : kButtonUp);
  buttonLIndicator_->repaint();
  buttonRIndicator_->repaint();
}

// The shell that started the window hears it too, as it heard the
// addresses: a box on a display nobody watches would go unseen.
void QtDialogView::ShowMessageBox(const std::string& text, const std::string& caption) {
  std::fprintf(stdout, "%s\n", text.c_str());
  std::fflush(stdout);
  QMessageBox box(QMessageBox::Warning, ToQt(caption), ToQt(text), QMessageBox::Ok, window_.get());
  box.exec();
}

void QtDialogView::ShowNotice(const std::string& text) {
  SetItemText(control::kPhoneAddress, addressText_.Notice(text));
}

void QtDialogView::StartTimer(unsigned periodMs) {
  timer_.start(static_cast<int>(periodMs));
}

void QtDialogView::StopTimer() {
  timer_.stop();
}

void QtDialogView::EndDialog(int result) {
  window_->done(result);
}

// A rectangle that no screen shows any more (a monitor was unplugged) is
// ignored, so that the window cannot open out of sight.
void QtDialogView::ApplyPlacement(const WindowPlacementBytes& placement) {
  const std::optional<NormalRectangle> normal = UnpackWindowPlacement(placement);
  if (!normal) return;
  const QRect rectangle(QPoint(normal->left, normal->top),
                        QPoint(normal->right - 1, normal->bottom - 1));
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().intersects(rectangle)) {
      window_->move(rectangle.topLeft());
      return;
    }
  }
}

// Nothing worth keeping before the window was shown, nor where the window
// system keeps the window's position from it (Wayland).
std::optional<WindowPlacementBytes> QtDialogView::CurrentPlacement() {
  if (!window_->HasBeenShown() || QGuiApplication::platformName() == "wayland") {
    return std::nullopt;
  }
  const QRect frame = window_->frameGeometry();
  return PackWindowPlacement(
      {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()});
}

void QtDialogView::ScreenSize(int& width, int& height) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  width = screen != nullptr ? screen->geometry().width() : 0;
  height = screen != nullptr ? screen->geometry().height() : 0;
}

std::optional<std::string> QtDialogView::ChooseFolder(const std::string& title) {
  const QString chosen = QFileDialog::getExistingDirectory(
      window_.get(), ToQt(title), ToQt(GetItemText(control::kHomeDirectory)));
  if (chosen.isEmpty()) return std::nullopt;
  return FromQt(chosen);
}

void QtDialogView::ShowQrCode(const std::string& address, const QrMatrix& code) {
  if (qrCodeWindow_ == nullptr) qrCodeWindow_ = new qt_window::QrCodeWindow(window_.get());
  qrCodeWindow_->ShowCode(ToQt(address), code, cursorScreenArea_);
}

bool QtDialogView::CloseQrCode() {
  if (qrCodeWindow_ == nullptr || !qrCodeWindow_->isVisible()) return false;
  qrCodeWindow_->close();
  return true;
}

QWidget* QtDialogView::QrWindow() const {
  return qrCodeWindow_;
}
