#include "dialogs/dialog_texts.h"

#include <QGroupBox>
#include <QWidget>
#include <iterator>

#include "dialogs/library_state.h"
#include "platform/error.h"

namespace orvex::dialogs {
namespace {

struct TextRow {
  const char* control;  // empty: the dialog itself
  const char* property;
  const char* english;
};

// In the order they are applied.
constexpr TextRow kPropertiesTexts[] = {
    {"", "Caption", "Connection Properties"},
    {"Frame1", "Caption", "Connection properties"},
    {"chkServU", "Caption", "Skip Serv-U Server navigation folders"},
    {"chkServU", "ToolTipText", "Enable this option to prevent infinite recursion on compare"},
    {"chkEnableAsciiMode", "Caption", "Enable ASCII transfer mode"},
    {"chkEnableAsciiMode", "ToolTipText", "ASCII Extensions can be set in the Options/Plugins/FTP tab"},
    {"chkAnonymousLogin", "Caption", "Anonymous login"},
    {"chkUseProxy", "Caption", "Connect through proxy"},
    {"chkClearCacheOnConnect", "Caption", "Don't use directory cache"},
    {"chkClearCacheOnConnect", "ToolTipText",
     "Enable this option if the remote location is changed from outside Orvex"},
    {"Label1", "Caption", "Example: ftp://ftp.example.org/downloads"},
    {"Label5", "Caption", "Port:"},
    {"Label3", "Caption", "Password:"},
    {"Label2", "Caption", "User name:"},
    {"cmdCancel", "Caption", "Cancel"},
    {"cmdOK", "Caption", "Connect"},
    {"lblEncryption", "Caption", "Encryption:"},
    {"cboEncryption", "ToolTipText",
     "FTP over TLS: explicit TLS asks the server to encrypt (AUTH TLS) and refuses to go on without it; "
     "implicit TLS encrypts from the first byte (port 990)"},
};

constexpr TextRow kOptionsTexts[] = {
    {"", "Caption", "General settings"},
    {"cmdOK", "Caption", "OK"},
    {"cmdCancel", "Caption", "Cancel"},
    {"Frame2", "Caption", "General settings"},
    {"chkTempCopy", "Caption", "Use temporary file names on copy"},
    {"chkTempCopy", "ToolTipText",
     "Creates files with temporary file names and renames them after completion. Prevents data loss but is "
     "slower."},
    {"Label1", "Caption", "ASCII transfer extensions"},
};

// The Qt property that stands for a control's "Caption" or "ToolTipText".
const char* QtPropertyName(const QWidget& target, const std::string& property) {
  if (property == "ToolTipText") return "toolTip";
  if (property == "Caption") {
    if (target.isWindow()) return "windowTitle";
    if (qobject_cast<const QGroupBox*>(&target)) return "title";
    return "text";
  }
  return nullptr;
}

template <std::size_t N>
void ApplyRows(QWidget& dialog, const TextRow (&rows)[N]) {
  for (const auto& row : rows) {
    SetControlProperty(dialog, row.control, row.property, TranslateText(row.english));
  }
}

}  // namespace

std::string TranslateText(const std::string& text) {
  auto plugin_interface = LibraryPluginInterface();
  if (!plugin_interface) {
    Raise(error_number::kObjectRequired, "Object required: no connection has been initialised on this thread");
  }
  return plugin_interface->Services()->Translate(text, {});
}

void SetControlProperty(QWidget& dialog, const std::string& control, const std::string& property,
                        const std::string& value) {
  QWidget* target = control.empty() ? &dialog : dialog.findChild<QWidget*>(QString::fromStdString(control));
  if (!target) Raise(error_number::kObjectRequired, "Object required: " + control);
  const char* name = QtPropertyName(*target, property);
  // setProperty with a name the class does not have would quietly create a
  // dynamic property and show nothing; a missing property is an error here.
  if (!name || target->metaObject()->indexOfProperty(name) < 0 ||
      !target->setProperty(name, QString::fromStdString(value))) {
    Raise(error_number::kPropertyNotSupported,
          "Object doesn't support this property or method: " + (control.empty() ? "dialog" : control) + "." +
              property);
  }
}

void ApplyDialogTexts(QWidget& dialog) {
  const QString name = dialog.objectName();
  if (name == "frmProperties") {
    ApplyRows(dialog, kPropertiesTexts);
  } else if (name == "frmOptions") {
    ApplyRows(dialog, kOptionsTexts);
  }
}

}  // namespace orvex::dialogs
