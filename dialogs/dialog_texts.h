#pragma once
// The texts of the two editing dialogs in the user's language.
//
// Every caption and tooltip of frmProperties and frmOptions is an English text
// that goes through the host's translation before the user sees it.
// ApplyDialogTexts does that for a whole dialog when it loads; TranslateText
// is the single place that asks the host.

#include <string>

class QWidget;

namespace orvex::dialogs {

// The host's text for `text`, through the PluginInterface given to the most
// recent iPC_Init on this thread (no %1-style parameters). Raises 424 when no
// connection has been initialised yet; a failing host call propagates.
std::string TranslateText(const std::string& text);

// Applies the translated caption and tooltip texts to the dialog named by its
// objectName ("frmProperties" or "frmOptions"), row by row in a fixed order;
// any other dialog is left untouched. The connection port's label (Label4 of
// frmProperties) is not translated: it keeps its design text.
void ApplyDialogTexts(QWidget& dialog);

// Sets a property of a control by its original name: "Caption" (the window
// title of a window, the title of a frame, the text of other controls) or
// "ToolTipText". `control` is the control's object name, or empty for the
// dialog itself. Raises 424 for an unknown control and 438 for a property
// the control does not have.
void SetControlProperty(QWidget& dialog, const std::string& control, const std::string& property,
                        const std::string& value);

}  // namespace orvex::dialogs
