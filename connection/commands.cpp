// The host's commands: the about box, the options dialog, the properties
// dialog of a new location, and the context command of the descriptor.
//
// Nothing here traps errors: a missing command word, a dialog that cannot be
// shown (no display) or a failing settings call reaches the host as the
// call's error. A cancelled dialog is no failure: the result is empty and
// nothing is saved.

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <cctype>

#include "connection/connection.h"
#include "dialogs/forms.h"
#include "dialogs/gui_runtime.h"
#include "platform/error.h"

namespace orvex {
namespace {

constexpr std::int32_t kCommandFlagProperties = 16;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Shows the properties dialog for the connection; on confirmation saves the
// settings under the server of the confirmed location and returns that
// location, else returns empty. The location the user confirmed is the one
// saved under (and the one a caller adopts): a login typed for a new server
// must not overwrite the stored login of the old one.
Variant EditProperties(Connection& connection, const com::ComPtr<_Connection>& self) {
  dialogs::EnsureApplication();
  dialogs::frmProperties dialog;
  dialog.Initialze(self);
  dialog.ShowModally();
  if (dialog.Canceled()) return Variant();
  connection.SaveSettings(dialog.Location());
  return Variant(dialog.Location());
}

std::string CommandWord(const Variant& options) {
  const auto& elements = options.AsArray();
  if (elements.empty()) Raise(error_number::kSubscriptOutOfRange, "Subscript out of range: no command word");
  return Upper(elements.front().ToString());
}

}  // namespace

Variant Connection::iPC_ExecuteCommand(const com::ComPtr<ContextCommand>& context_command, const Variant&,
                                       const Variant&, const Variant& options) {
  const com::ComPtr<_Connection> self(static_cast<_Connection*>(this));
  Variant result;

  if (!context_command) {
    const std::string word = CommandWord(options);
    if (word == "SHOWABOUT") {
      auto& about = dialogs::AboutBox();
      auto icon = Services()->Icon();
      if (icon) {
        const auto bytes = icon->Bytes();
        const QImage picture = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
        about.setWindowIcon(QIcon(QPixmap::fromImage(picture)));
      }
      about.ShowModally();
    } else if (word == "SHOWOPTIONS") {
      dialogs::EnsureApplication();
      dialogs::frmOptions dialog;
      LoadSettings("");
      dialog.Initialze(self);
      dialog.ShowModally();
      if (!dialog.Canceled()) {
        SaveSettings("");
        result = Variant("OK");
      }
    } else if (word == "ONOPTIONSCHANGE") {
      LoadSettings("");
    } else if (word == "INITNEW") {
      result = EditProperties(*this, self);
    }
    return result;
  }

  if ((context_command->Flags() & kCommandFlagProperties) == 0) return result;
  if (context_command->ID() != kPropertiesCommandId) return result;
  return EditProperties(*this, self);
}

}  // namespace orvex
