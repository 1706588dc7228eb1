#pragma once
// The commands of `orvex` that show the plug-in's dialogs: properties of a
// location, the plug-in options, the about box. They need a desktop session;
// without a display the plug-in refuses the dialog and the command fails
// with its error. Each returns the process exit code.

#include <string>

namespace orvex::cli {

// Shows the properties of `url`; what the user confirms is saved by the
// plug-in (the password only encoded).
int ShowProperties(const std::string& url);
int ShowOptions();
int ShowAbout();

}  // namespace orvex::cli
