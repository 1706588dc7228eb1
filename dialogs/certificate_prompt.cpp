#include "dialogs/certificate_prompt.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/dialog_texts.h"
#include "dialogs/gui_runtime.h"
#include "platform/text/terminal_text.h"

namespace orvex::dialogs {
namespace {

QString Text(const char* english) { return QString::fromStdString(TranslateText(english)); }

// The subject and issuer are whatever the server put into its certificate:
// always shown as plain text, never taken for rich text (a QLabel would
// render "&lt;" or tags in them as HTML).
QLabel* Value(const std::string& text, bool monospace = false) {
  auto* label = new QLabel();
  label->setTextFormat(Qt::PlainText);
  label->setText(QString::fromStdString(text));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setWordWrap(true);
  if (monospace) {
    QFont font("Monospace");
    font.setStyleHint(QFont::TypeWriter);
    label->setFont(font);
  }
  return label;
}

// A server's words with whatever could reorder or hide what follows them
// (bidirectional overrides, control characters) shown as visible escapes.
QLabel* ServerText(const std::string& text) { return Value(text::TerminalSafe(text)); }

// Fingerprints are long: two lines of 16 byte pairs each read better.
std::string Wrapped(const std::string& fingerprint) {
  const std::size_t half = fingerprint.find(':', 7 + 16 * 3 - 1);
  if (half == std::string::npos) return fingerprint;
  return fingerprint.substr(0, half + 1) + "\n" + fingerprint.substr(half + 1);
}

}  // namespace

frmCertificate::frmCertificate(const CertificateDetails& details) {
  setObjectName("frmCertificate");
  setWindowTitle(Text("Server certificate"));
  setFont(QFont("Tahoma", 8));
  auto* layout = new QVBoxLayout(this);
  const bool changed = !details.trusted_fingerprint.empty();
  // The host's translation fills placeholders itself, so the server's name
  // stands in a row of its own.
  auto* heading = new QLabel(
      changed ? Text("The server's certificate has changed. Someone may be intercepting the connection; "
                     "trust the new certificate only if you know why it changed.")
              : Text("The server's certificate is not trusted. Check its fingerprint with the server's "
                     "administrator before you trust it."));
  heading->setObjectName("lblHeading");
  heading->setWordWrap(true);
  layout->addWidget(heading);

  auto* form = new QFormLayout();
  form->addRow(Text("Server:"), ServerText(details.server));
  form->addRow(Text("Reason:"), ServerText(details.reason));
  form->addRow(Text("Subject:"), ServerText(details.subject));
  form->addRow(Text("Issuer:"), ServerText(details.issuer));
  form->addRow(Text("Valid until:"), ServerText(details.valid_until));
  form->addRow(Text("SHA-256 fingerprint:"), Value(Wrapped(details.fingerprint), true));
  if (changed) form->addRow(Text("Trusted until now:"), Value(Wrapped(details.trusted_fingerprint), true));
  layout->addLayout(form);

  auto* buttons = new QDialogButtonBox();
  auto* trust = buttons->addButton(Text("Trust this certificate"), QDialogButtonBox::AcceptRole);
  trust->setObjectName("cmdTrust");
  auto* cancel = buttons->addButton(Text("Cancel"), QDialogButtonBox::RejectRole);
  cancel->setObjectName("cmdCancel");
  cancel->setDefault(true);  // the safe answer is the one Enter gives
  layout->addWidget(buttons);
  connect(trust, &QPushButton::clicked, this, [this] {
    trusted_ = true;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  setMinimumWidth(520);
}

frmCertificate::~frmCertificate() = default;

bool AskToTrustCertificate(const CertificateDetails& details) {
  EnsureApplication();
  frmCertificate dialog(details);
  dialog.ShowModally();
  return dialog.Trusted();
}

}  // namespace orvex::dialogs
