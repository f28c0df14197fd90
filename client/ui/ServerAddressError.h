// The client's one message box: the parse error of the server-address file, shown by the
// main window while it is created.
#pragma once

#include <string>

// Shows the parse-error text in the message box "XML Parsing error" (error icon, topmost,
// OK) and ends the process with exit code 255. Never returns. User-interface thread.
[[noreturn]] void FailOnServerAddressError(const std::string& errorText);
