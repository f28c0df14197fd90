// The error report log "BugReport.log" in the program folder: one report for every failed
// attempt of a service request. The file grows without limit; the client never truncates,
// rotates or deletes it.
//
// Threads: the request worker's thread writes the reports; the writes are serialised by a
// lock of their own, so reports never interleave even if another thread writes one.
#pragma once

#include <ctime>
#include <string>

// Appends text and one line break to folder + "BugReport.log" (folder ends with "/"),
// writing every "\n" as "\r\n". A file that cannot be opened loses the report silently.
void WriteBugReport(const std::string& folder, const std::string& text);

// The moment `at` in local time (the process's time zone) as the reports write it:
// "%Y-%m-%d %H:%M:%S". A report is stamped with BugReportTime(std::time(nullptr)).
std::string BugReportTime(std::time_t at);

// The three report forms.
// The service answered with an HTTP status other than 200.
std::string StatusReport(const std::string& time, int statusCode);
// The HTTP client failed (connection, time-out, transfer); message is cut to 1024 characters.
std::string TransportErrorReport(const std::string& time, int errorCode, const std::string& message);
// Any other failure during a request.
std::string OtherErrorReport(const std::string& time, const std::string& message);
