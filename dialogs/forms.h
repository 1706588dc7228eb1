#pragma once
// The plug-in's three forms.
//
// frmProperties edits one FTP location (URL, login, port, proxy, switches);
// frmOptions edits the plug-in-wide ASCII extension list and the temporary
// copy switch; frmAbout shows name, version and maker and carries the
// plug-in's pictures.
//
// The two editing dialogs are used the same way, once per command:
//   construct (texts translated, Canceled() true) -> Initialze(connection)
//   -> ShowModal -> read Canceled() (and Location()) -> destroy.
// They write into the connection's public members on confirmation only;
// storing the settings is the caller's business. Construct them with a
// QApplication present (EnsureApplication) and after an iPC_Init on this
// thread (their texts are translated through that host).

#include <QDialog>
#include <QImage>
#include <exception>
#include <map>
#include <memory>
#include <string>

#include "connection/host/connection_interface.h"
#include "connection/host/connection_security.h"

namespace Ui {
class frmProperties;
class frmOptions;
class frmAbout;
}  // namespace Ui

namespace orvex::dialogs {

// What the three forms share: a failure inside a click handler (a host call
// that raises) cannot travel through Qt's event loop, so it closes the form
// and is raised again by ShowModally once the modal display has ended.
class Form : public QDialog {
 public:
  // Shows the form modally (ShowModal) and raises what a handler failed with.
  void ShowModally();

 protected:
  template <class Handler>
  void Guarded(Handler&& handler) {
    try {
      handler();
    } catch (...) {
      failure_ = std::current_exception();
      done(Rejected);
    }
  }

 private:
  std::exception_ptr failure_;
};

class frmProperties final : public Form {
  Q_OBJECT

 public:
  frmProperties();
  ~frmProperties() override;

  // So spelled. Keeps `plugin` and fills the controls from its members; a
  // current location shorter than 6 characters shows "ftp://".
  void Initialze(const com::ComPtr<_Connection>& plugin);

  // True until a confirmation passed every check.
  bool Canceled() const { return canceled_; }
  // The URL as confirmed; empty until then.
  const std::string& Location() const { return location_; }
  const com::ComPtr<_Connection>& Plugin() const { return plugin_; }

 private:
  void ApplyEnablingRule();
  void Confirm();
  // Shows a validation message through the host and puts the focus on the
  // field concerned.
  void Refuse(const char* message, QWidget* field);

  std::unique_ptr<Ui::frmProperties> ui_;
  com::ComPtr<_Connection> plugin_;
  com::ComPtr<_ConnectionSecurity> security_;
  bool canceled_ = true;
  std::string location_;
};

class frmOptions final : public Form {
  Q_OBJECT

 public:
  frmOptions();
  ~frmOptions() override;

  // So spelled. Keeps `plugin`, lists its ASCII extensions in their order and
  // sets the temporary copy box.
  void Initialze(const com::ComPtr<_Connection>& plugin);

  bool Canceled() const { return canceled_; }
  const com::ComPtr<_Connection>& Plugin() const { return plugin_; }

 private:
  void ApplyButtonRule();
  void AddExtension();
  void DeleteExtension();
  void Confirm();

  std::unique_ptr<Ui::frmOptions> ui_;
  com::ComPtr<_Connection> plugin_;
  bool canceled_ = true;
};

// The about box. Its texts are not translated. A click on the maker's line
// opens the maker's web address and leaves the box open; a click on the
// window, the title or the version line hides it; a click on the picture does
// nothing. Pointing at the maker's line lightens its blue until the pointer
// moves over the bare window.
class frmAbout final : public Form {
  Q_OBJECT

 public:
  static const QColor kMakerColour;
  static const QColor kMakerHoverColour;

  frmAbout();
  ~frmAbout() override;

  // The big picture (Image1).
  QImage PluginImage() const;
  // A 16 x 16 picture of the image list by key ("icon", "location",
  // "settings", "settings_d"); a null image for an unknown key.
  QImage ListImage(const std::string& key) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void SetMakerColour(const QColor& colour);

  std::unique_ptr<Ui::frmAbout> ui_;
  std::map<std::string, QImage> Images16_;
};

// The about box of this thread, loaded (hidden) on first use. UnloadAboutBox
// destroys it; the next call to AboutBox loads a fresh one.
// Creates a QApplication when there is none. Raises kNoDisplayError where
// forms cannot exist (see EnsureApplication, or a thread other than the
// application's).
frmAbout& AboutBox();
// Loads this thread's about box when forms can exist here; never raises, so
// that a connection can be created in any process.
void LoadAboutBox();
void UnloadAboutBox();

// The plug-in's pictures: "plugin" (the about box's Image1) or a key of its
// image list. Taken from the about box when it is loaded, otherwise from the
// same resource it loads them from. A null image for an unknown name.
QImage PluginImage(const std::string& name);

}  // namespace orvex::dialogs
