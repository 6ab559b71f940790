#pragma once
// The send commands of the new-fax view (32822, 32823, 32811): the copy into the fax store,
// the dialog, and what a successful send does to the printed document.
#include <functional>

class CFaxDocument;
class CFaxEntryBase;
class IPrompt;
class QWidget;
class CVelquinDoc;
class CQtPrompt;
class CMainFrame;

// Runs one send command on `document`; true when the dialog submitted the fax.
bool RunSendCommand(int command, CFaxDocument& document, CVelquinDoc& doc, CQtPrompt& prompt,
                    CMainFrame& frame);

// The handler the main frame calls for the view's send commands. The document is looked up
// when the command runs (the window exists before it).
std::function<void(int, CFaxDocument&)> MakeSendHandler(std::function<CVelquinDoc*()> doc,
                                                        CQtPrompt& prompt, CMainFrame& frame);

// "Повторить отправку недоставленных": the list dialog on the mailing's document, filled with
// the recipients that were not delivered, to be confirmed. True when it submitted the fax.
bool RunResendUndelivered(const CFaxEntryBase& mailing, CVelquinDoc& doc, IPrompt& prompt,
                          QWidget* parent);
