#include "dialogs/forms.h"

#include <QIcon>
#include <QMessageBox>

#include <QApplication>
#include <QBuffer>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QThread>
#include <algorithm>

#include "dialogs/dialog_texts.h"
#include "dialogs/gui_runtime.h"
#include "platform/error.h"
#include "platform/numeric.h"
#include "platform/script/dictionary.h"
#include "resources/version_info.h"
#include "ui_frmAbout.h"
#include "ui_frmOptions.h"
#include "ui_frmProperties.h"

// The pictures are compiled into a static library; without this call the
// linker would leave their registration out.
static void InitPictureResources() { Q_INIT_RESOURCE(pictures); }

namespace orvex::dialogs {
namespace {

constexpr std::int32_t kMessageStyle = 16384;

// A greyed box counts as set, as a checked one does.
bool IsSet(const QCheckBox* box) { return box->checkState() != Qt::Unchecked; }
void SetBox(QCheckBox* box, bool value) { box->setCheckState(value ? Qt::Checked : Qt::Unchecked); }

QString Text(const std::string& text) { return QString::fromStdString(text); }
std::string Text(const QString& text) { return text.toStdString(); }

// Blanks are spaces, as in the stored extension list.
QString TrimBlanks(const QString& text) {
  qsizetype first = 0, last = text.size();
  while (first < last && text[first] == ' ') ++first;
  while (last > first && text[last - 1] == ' ') --last;
  return text.mid(first, last - first);
}

// Password boxes show every character as a degree sign.
class DegreePasswordStyle final : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* result) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return 0x00B0;
    return QProxyStyle::styleHint(hint, option, widget, result);
  }
};

QImage LoadResourceImage(const std::string& name) {
  InitPictureResources();
  return QImage(":/pictures/" + Text(name) + ".png");
}

}  // namespace

// ---- Form ----------------------------------------------------------------

void Form::ShowModally() {
  failure_ = nullptr;
  ShowModal(*this, Text(windowTitle()));
  if (auto failure = std::exchange(failure_, nullptr)) std::rethrow_exception(failure);
}

// ---- frmProperties -------------------------------------------------------

frmProperties::frmProperties() : ui_(std::make_unique<Ui::frmProperties>()) {
  ui_->setupUi(this);
  setWindowIcon(QIcon(QPixmap::fromImage(LoadResourceImage("icon"))));
  auto* password_style = new DegreePasswordStyle;
  password_style->setParent(this);
  ui_->txtPassword->setStyle(password_style);

  canceled_ = true;
  ApplyDialogTexts(*this);
  // The choices in the order of _ConnectionSecurity's encryption values.
  for (const char* choice : {"None (plain FTP)", "Explicit TLS (AUTH TLS, required)", "Implicit TLS (port 990)"}) {
    ui_->cboEncryption->addItem(Text(TranslateText(choice)));
  }

  connect(ui_->chkAnonymousLogin, &QCheckBox::clicked, this, [this] { ApplyEnablingRule(); });
  connect(ui_->chkUseProxy, &QCheckBox::clicked, this, [this] { ApplyEnablingRule(); });
  connect(ui_->cmdOK, &QPushButton::clicked, this, [this] { Guarded([this] { Confirm(); }); });
  connect(ui_->cmdCancel, &QPushButton::clicked, this, [this] { done(Rejected); });
}

frmProperties::~frmProperties() = default;

void frmProperties::Initialze(const com::ComPtr<_Connection>& plugin) {
  plugin_ = plugin;
  const std::string location = plugin_->iPC_Location();
  ui_->txtPath->setText(location.size() < 6 ? QString("ftp://") : Text(location));
  SetBox(ui_->chkAnonymousLogin, plugin_->Anonymous());
  ui_->txtUserName->setText(Text(plugin_->UserName()));
  ui_->txtPassword->setText(Text(plugin_->Password()));
  ui_->txtConnectionPort->setText(Text(plugin_->Port()));
  SetBox(ui_->chkUseProxy, plugin_->UseProxy());
  ui_->txtProxyName->setText(Text(plugin_->ProxyName()));
  ui_->txtProxyPort->setText(Text(plugin_->ProxyPort()));
  SetBox(ui_->chkClearCacheOnConnect, plugin_->ClearCacheOnConnect());
  SetBox(ui_->chkEnableAsciiMode, plugin_->EnableAscii());
  SetBox(ui_->chkServU, plugin_->SkipServUNavigationFolders());
  // FTP over TLS lives on a second interface; a connection without it keeps
  // the choice at "None" and disabled.
  security_ = plugin_.As<_ConnectionSecurity>();
  ui_->cboEncryption->setCurrentIndex(security_ ? security_->Encryption() : 0);
  ui_->cboEncryption->setEnabled(static_cast<bool>(security_));
  ApplyEnablingRule();
}

void frmProperties::ApplyEnablingRule() {
  const bool proxy = IsSet(ui_->chkUseProxy);
  ui_->txtProxyName->setEnabled(proxy);
  ui_->txtProxyPort->setEnabled(proxy);
  const bool named_login = !IsSet(ui_->chkAnonymousLogin);
  ui_->txtUserName->setEnabled(named_login);
  ui_->txtPassword->setEnabled(named_login);
}

void frmProperties::Refuse(const char* message, QWidget* field) {
  auto plugin_interface = plugin_->PluginInterface();
  if (!plugin_interface) Raise(error_number::kObjectRequired, "Object required: the connection's PluginInterface");
  auto services = plugin_interface->Services();
  services->MessageBox(services->Translate(message, {}), kMessageStyle, Text(windowTitle()), "", 0, nullptr,
                       Variant());
  field->setFocus();
}

void frmProperties::Confirm() {
  if (!plugin_) Raise(error_number::kObjectRequired, "Object required: the dialog has no connection");
  const QString path = ui_->txtPath->text();
  if (!path.contains("ftp://", Qt::CaseInsensitive) || path.size() < 7) {
    return Refuse("Please specify a valid URL.", ui_->txtPath);
  }
  const std::string port = Text(ui_->txtConnectionPort->text());
  if (!port.empty() && !IsNumeric(port)) {
    return Refuse("The connection port must be numeric.", ui_->txtConnectionPort);
  }
  const std::string proxy_port = Text(ui_->txtProxyPort->text());
  if (!proxy_port.empty() && !IsNumeric(proxy_port)) {
    return Refuse("The proxy port must be numeric.", ui_->txtProxyPort);
  }

  canceled_ = false;
  plugin_->Anonymous(IsSet(ui_->chkAnonymousLogin));
  plugin_->UserName(Text(ui_->txtUserName->text()));
  plugin_->Password(Text(ui_->txtPassword->text()));
  plugin_->Port(port);
  plugin_->UseProxy(IsSet(ui_->chkUseProxy));
  plugin_->ProxyName(Text(ui_->txtProxyName->text()));
  plugin_->ProxyPort(proxy_port);
  plugin_->ClearCacheOnConnect(IsSet(ui_->chkClearCacheOnConnect));
  plugin_->EnableAscii(IsSet(ui_->chkEnableAsciiMode));
  plugin_->SkipServUNavigationFolders(IsSet(ui_->chkServU));
  if (security_) security_->Encryption(ui_->cboEncryption->currentIndex());
  location_ = Text(path);
  done(Accepted);
}

// ---- frmOptions ----------------------------------------------------------

frmOptions::frmOptions() : ui_(std::make_unique<Ui::frmOptions>()) {
  ui_->setupUi(this);
  setWindowIcon(QIcon(QPixmap::fromImage(LoadResourceImage("icon"))));
  canceled_ = true;
  ApplyDialogTexts(*this);

  connect(ui_->lstAsciiFiles, &QListWidget::itemSelectionChanged, this, [this] { ApplyButtonRule(); });
  connect(ui_->lstAsciiFiles, &QListWidget::clicked, this, [this] { ApplyButtonRule(); });
  connect(ui_->txtAddAsciiExtension, &QLineEdit::textChanged, this, [this] { ApplyButtonRule(); });
  connect(ui_->cmdAddAsciiExtension, &QPushButton::clicked, this, [this] { AddExtension(); });
  connect(ui_->cmdDeleteAsciiExtension, &QPushButton::clicked, this, [this] { DeleteExtension(); });
  connect(ui_->cmdOK, &QPushButton::clicked, this, [this] { Guarded([this] { Confirm(); }); });
  connect(ui_->cmdCancel, &QPushButton::clicked, this, [this] { done(Rejected); });
}

frmOptions::~frmOptions() = default;

void frmOptions::Initialze(const com::ComPtr<_Connection>& plugin) {
  plugin_ = plugin;
  ui_->lstAsciiFiles->clear();
  if (auto extensions = plugin_->AsciiExtensions()) {
    for (const auto& key : extensions->Keys()) ui_->lstAsciiFiles->addItem(Text(key));
  }
  SetBox(ui_->chkTempCopy, plugin_->UseTempCopy());
  ApplyButtonRule();
}

void frmOptions::ApplyButtonRule() {
  ui_->cmdAddAsciiExtension->setEnabled(!TrimBlanks(ui_->txtAddAsciiExtension->text()).isEmpty());
  ui_->cmdDeleteAsciiExtension->setEnabled(!ui_->lstAsciiFiles->selectedItems().isEmpty());
}

void frmOptions::AddExtension() {
  const QString extension = TrimBlanks(ui_->txtAddAsciiExtension->text());
  if (extension.isEmpty()) return;
  for (int row = 0; row < ui_->lstAsciiFiles->count(); ++row) {
    if (ui_->lstAsciiFiles->item(row)->text().compare(extension, Qt::CaseInsensitive) == 0) return;
  }
  ui_->lstAsciiFiles->addItem(extension);
  ui_->txtAddAsciiExtension->clear();
  ApplyButtonRule();
}

void frmOptions::DeleteExtension() {
  const auto selected = ui_->lstAsciiFiles->selectedItems();
  if (selected.isEmpty()) return;
  // Nothing is selected afterwards. The buttons keep their state until the
  // next click on the list or change of the text; pressing delete again then
  // finds no selection and does nothing.
  const QSignalBlocker blocker(ui_->lstAsciiFiles);
  delete selected.front();
  ui_->lstAsciiFiles->clearSelection();
  ui_->lstAsciiFiles->setCurrentRow(-1);
}

void frmOptions::Confirm() {
  if (!plugin_) Raise(error_number::kObjectRequired, "Object required: the dialog has no connection");
  canceled_ = false;
  auto extensions = plugin_->AsciiExtensions();
  if (!extensions) {
    extensions = script::NewDictionary(script::CompareMode::Text);
    plugin_->AsciiExtensions(extensions);
  }
  extensions->RemoveAll();
  for (int row = 0; row < ui_->lstAsciiFiles->count(); ++row) {
    extensions->Item(Text(ui_->lstAsciiFiles->item(row)->text()), Variant(""));
  }
  plugin_->UseTempCopy(IsSet(ui_->chkTempCopy));
  done(Accepted);
}

// ---- frmAbout ------------------------------------------------------------

const QColor frmAbout::kMakerColour(0x40, 0x40, 0xAA);
const QColor frmAbout::kMakerHoverColour(0x60, 0x60, 0xBB);

namespace {

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  widget->setPalette(palette);
}

}  // namespace

frmAbout::frmAbout() : ui_(std::make_unique<Ui::frmAbout>()) {
  ui_->setupUi(this);
  for (const char* key : {"icon", "location", "settings", "settings_d"}) Images16_[key] = LoadResourceImage(key);
  ui_->Image1->setPixmap(QPixmap::fromImage(LoadResourceImage("plugin")));

  SetTextColour(ui_->Label1, QColor(0x20, 0x20, 0x99));
  SetTextColour(ui_->lblVersion, QColor(0x00, 0x00, 0x66));
  SetMakerColour(kMakerColour);
  ui_->lblVersion->setText(QString("Version %1.%2.%3").arg(version::kMajor).arg(version::kMinor).arg(version::kRevision));
  ui_->lblHaldenor->setText(version::kCopyright);

  // Labels pass mouse events they do not use on to the window; these filters
  // keep the window's own handlers (reset the colour, hide) to the bare
  // window and route the clicks each label has.
  setMouseTracking(true);
  for (QWidget* child : {static_cast<QWidget*>(ui_->Image1), static_cast<QWidget*>(ui_->Label1),
                         static_cast<QWidget*>(ui_->lblVersion), static_cast<QWidget*>(ui_->lblHaldenor)}) {
    child->setMouseTracking(true);
    child->installEventFilter(this);
  }
}

frmAbout::~frmAbout() = default;

QImage frmAbout::PluginImage() const { return ui_->Image1->pixmap().toImage(); }

QImage frmAbout::ListImage(const std::string& key) const {
  auto found = Images16_.find(key);
  return found == Images16_.end() ? QImage() : found->second;
}

void frmAbout::SetMakerColour(const QColor& colour) { SetTextColour(ui_->lblHaldenor, colour); }

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  const bool release = type == QEvent::MouseButtonRelease;
  const bool mouse = type == QEvent::MouseMove || type == QEvent::MouseButtonPress || release ||
                     type == QEvent::MouseButtonDblClick;
  if (!mouse) return Form::eventFilter(watched, event);
  if (watched == ui_->lblHaldenor) {
    if (type == QEvent::MouseMove) SetMakerColour(kMakerHoverColour);
    if (release && !OpenUrl(version::kWebAddress)) {
      // Printing to standard error alone would go unseen on a desktop.
      QMessageBox::information(this, windowTitle(),
                               QString("No web browser could be started. The web site is:\n") +
                                   version::kWebAddress);
    }
  } else if (watched == ui_->Label1 || watched == ui_->lblVersion) {
    if (release) done(Accepted);
  }
  return true;  // Image1: nothing at all
}

void frmAbout::mouseMoveEvent(QMouseEvent*) { SetMakerColour(kMakerColour); }

void frmAbout::mouseReleaseEvent(QMouseEvent*) { done(Accepted); }

// ---- the about box of each thread ----------------------------------------

namespace {

thread_local std::unique_ptr<frmAbout> about_box;

bool FormsPossibleHere() {
  auto* application = QCoreApplication::instance();
  return qobject_cast<QApplication*>(application) && QThread::currentThread() == application->thread();
}

}  // namespace

frmAbout& AboutBox() {
  if (!about_box) {
    EnsureApplication();
    if (!FormsPossibleHere()) {
      Raise(kNoDisplayError, "The about box can only be shown on the thread of the Qt application");
    }
    about_box = std::make_unique<frmAbout>();
  }
  return *about_box;
}

void LoadAboutBox() {
  try {
    if (!QCoreApplication::instance()) EnsureApplication();
    if (FormsPossibleHere()) AboutBox();
  } catch (const Error&) {
    // A host without widgets: the pictures come from the resource instead.
  }
}

void UnloadAboutBox() { about_box.reset(); }

QImage PluginImage(const std::string& name) {
  if (about_box) return name == "plugin" ? about_box->PluginImage() : about_box->ListImage(name);
  return LoadResourceImage(name);
}

}  // namespace orvex::dialogs
