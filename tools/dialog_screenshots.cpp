// Renders each dialog into a PNG file, as a user would see it, for the
// documentation: orvex_dialog_screenshots OUTPUT_FOLDER. Runs on Qt's
// offscreen platform, so it needs no display.

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "connection/connection.h"
#include "dialogs/certificate_prompt.h"
#include "dialogs/forms.h"
#include "host/app/reference_host.h"

namespace {

bool Save(QWidget& dialog, const QDir& folder, const char* name) {
  dialog.show();
  QApplication::processEvents();
  const QString path = folder.filePath(QString(name) + ".png");
  const bool saved = dialog.grab().save(path, "PNG");
  std::cout << (saved ? "wrote " : "could not write ") << path.toStdString() << "\n";
  dialog.hide();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: orvex_dialog_screenshots OUTPUT_FOLDER\n";
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  const QDir folder(argv[1]);

  char pattern[] = "/tmp/orvex-screenshots-XXXXXX";
  const std::filesystem::path scratch = ::mkdtemp(pattern);
  bool saved = true;
  {
    orvex::hostapp::ReferenceHostOptions options;
    options.settings_file = scratch / "settings.sqlite3";
    options.log_file = scratch / "orvex.log";
    options.print_messages = false;
    orvex::hostapp::ReferenceHost host(options);

    auto connection = orvex::Connection::Create();
    connection->iPC_Init(host.plugin_interface(), "screenshot", "ftp://ftp.example.org/downloads");
    connection->UserName("alice");
    connection->Password("secret");
    connection->Port("21");
    connection->ProxyName("proxy.example.org");
    connection->ProxyPort("1080");
    connection->EnableAscii(true);
    connection->Encryption(orvex::_ConnectionSecurity::kEncryptionExplicit);
    const orvex::com::ComPtr<orvex::_Connection> plugin(connection.get());

    orvex::dialogs::frmProperties properties;
    properties.Initialze(plugin);
    saved &= Save(properties, folder, "properties");

    orvex::dialogs::frmOptions options_dialog;
    options_dialog.Initialze(plugin);
    saved &= Save(options_dialog, folder, "options");

    orvex::dialogs::CertificateDetails certificate;
    certificate.server = "ftp.example.org";
    certificate.fingerprint =
        "SHA256:3F:A1:09:C4:7E:52:D8:1B:66:0A:F3:94:2C:B7:E5:18:"
        "4D:90:AB:71:C2:3E:58:F6:0D:8A:17:B9:E4:62:5C:03";
    certificate.subject = "CN=ftp.example.org";
    certificate.issuer = "CN=ftp.example.org";
    certificate.valid_until = "2027-12-10 12:00:00 UTC";
    certificate.reason = "self-signed certificate";
    orvex::dialogs::frmCertificate prompt(certificate);
    saved &= Save(prompt, folder, "certificate");

    saved &= Save(orvex::dialogs::AboutBox(), folder, "about");
    orvex::dialogs::UnloadAboutBox();
  }
  std::filesystem::remove_all(scratch);
  return saved ? 0 : 1;
}
