#pragma once
// The Qt application the dialogs run in, and the one way they are shown.
//
// The plug-in lives inside a host process that may or may not have a Qt
// application object. EnsureApplication() uses the host's when there is one
// and otherwise creates one the first time a form is needed. Creation never
// aborts the process: the platform list ends in "offscreen", so without a
// usable display Qt falls back to drawing into memory. Forms can then be
// created and read (the about box's pictures), but a modal dialog cannot be
// answered by anybody, so ShowModal() refuses it at once with an error
// instead of waiting forever.

#include <functional>
#include <string>

#include "platform/error.h"

class QDialog;
class QString;

namespace orvex::dialogs {

// The number of the error raised when a dialog must be shown and there is no
// display to show it on, or no usable application object.
inline constexpr int kNoDisplayError = error_number::kInvalidProcedureCall;

// Makes sure a QApplication exists on this process. Raises kNoDisplayError
// when the host owns a QCoreApplication that is not a QApplication (forms
// cannot live there). The host's locale (setlocale) is left as it was.
void EnsureApplication();

// Counts the objects that keep the plug-in's forms in use (each connection,
// from creation to destruction). When the last one lets go, an application
// object this library created is deleted, inside the host's own call and not
// at process exit, where Qt's global objects are already gone; the next use
// creates a new one. A host's application object is never deleted.
void HoldApplication();
void ReleaseApplication();

// True when the application object draws on a screen somebody can see; false
// for the offscreen, minimal and minimalegl platforms and without an
// application.
bool HasInteractiveDisplay();

// Shows `dialog` modally and returns when it has been hidden. With a modal
// handler installed, the handler gets the (shown) dialog instead and must
// hide it or leave it open; otherwise raises kNoDisplayError without an
// interactive display. `what` names the dialog in that error.
void ShowModal(QDialog& dialog, const std::string& what);

// Replaces the user for tests and scripted hosts: called with each dialog
// that ShowModal would run. An empty function restores the normal behaviour.
void SetModalHandler(std::function<void(QDialog&)> handler);

// Opens a web address with the desktop's URL opener (tests replace it);
// false when no browser could be started (no desktop, no handler).
bool OpenUrl(const QString& address);
void SetUrlOpener(std::function<void(const QString&)> opener);

}  // namespace orvex::dialogs
