#include "CupsPrinter.h"

#include <algorithm>
#include <thread>

#include "CupsHandles.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kPollInterval{50};
constexpr double kIoSliceSeconds = 0.25;  // how often blocked I/O looks at the deadline
constexpr std::size_t kChunkBytes = 64 * 1024;
constexpr std::chrono::seconds kCancelGrace{2};

struct Deadline {
  Clock::time_point at;

  bool Passed() const { return Clock::now() >= at; }
  int MillisecondsLeft() const {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(at - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 1));
  }
};

// libcups calls this whenever a read or write has waited one slice; 0 makes it
// give up, so a scheduler that stops answering cannot hold a print past its
// deadline.
int KeepWaiting(http_t* /*http*/, void* data) {
  return static_cast<const Deadline*>(data)->Passed() ? 0 : 1;
}

CupsPrinter::Result Fail(std::string message, int jobId = 0) {
  CupsPrinter::Result result;
  result.jobId = jobId;
  result.message = std::move(message);
  return result;
}

std::string LastCupsError(const std::string& what) {
  const char* text = cupsLastErrorString();
  return what + ": " + (text && *text ? text : "no detail from CUPS");
}

CupsHttpPtr Connect(Deadline& deadline) {
  CupsHttpPtr http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                deadline.MillisecondsLeft(), nullptr));
  if (http) httpSetTimeout(http.get(), kIoSliceSeconds, KeepWaiting, &deadline);
  return http;
}

bool SendDocument(http_t* http, const cups_dest_t& dest, int jobId, std::string_view pdf,
                  const std::string& title, std::string& message) {
  if (cupsStartDocument(http, dest.name, jobId, title.c_str(), CUPS_FORMAT_PDF, 1) !=
      HTTP_STATUS_CONTINUE) {
    message = LastCupsError("CUPS refused the document");
    return false;
  }
  for (std::size_t offset = 0; offset < pdf.size(); offset += kChunkBytes) {
    std::size_t length = std::min(kChunkBytes, pdf.size() - offset);
    if (cupsWriteRequestData(http, pdf.data() + offset, length) != HTTP_STATUS_CONTINUE) {
      cupsFinishDocument(http, dest.name);
      message = LastCupsError("sending the document failed");
      return false;
    }
  }
  if (cupsFinishDocument(http, dest.name) > IPP_STATUS_OK_EVENTS_COMPLETE) {
    message = LastCupsError("CUPS did not take the document");
    return false;
  }
  return true;
}

// The job's state, or 0 when CUPS cannot tell.
int JobState(http_t* http, int jobId) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  std::string uri = "ipp://localhost/jobs/" + std::to_string(jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "job-state");
  CupsIppPtr response(cupsDoRequest(http, request, "/"));  // takes the request
  if (!response) return 0;
  ipp_attribute_t* state = ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM);
  return state ? ippGetInteger(state, 0) : 0;
}

// Waits until the printer starts (or finishes) the job. Pending, held and
// stopped jobs have not reached the printer; cancelled and aborted ones never will.
bool AwaitPrinter(http_t* http, const cups_dest_t& dest, int jobId, const Deadline& deadline,
                  std::string& message) {
  while (true) {
    int state = JobState(http, jobId);
    if (state == IPP_JSTATE_PROCESSING || state == IPP_JSTATE_COMPLETED) return true;
    if (state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED) {
      message = "CUPS cancelled or aborted job " + std::to_string(jobId);
      return false;
    }
    if (deadline.Passed()) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  message = "printer '" + std::string(dest.name) + "' did not take job " + std::to_string(jobId) +
            " in time; the job was cancelled";
  return false;
}

// A job that failed must not print later, when the cashier has already been
// told it failed (and may have printed again).
void CancelJob(http_t* http, const cups_dest_t& dest, int jobId, Deadline& deadline) {
  deadline.at = Clock::now() + kCancelGrace;  // the job's own deadline may have run out
  cupsCancelJob2(http, dest.name, jobId, 0);
}

}  // namespace

CupsPrinter::Result CupsPrinter::Print(const std::string& destination, std::string_view pdf,
                                       const std::string& title,
                                       std::chrono::milliseconds timeout) {
  Deadline deadline{Clock::now() + timeout};
  CupsHttpPtr http = Connect(deadline);
  if (!http)
    return Fail(LastCupsError(std::string("cannot reach the print server ") + cupsServer()));
  CupsDestPtr dest(
      cupsGetNamedDest(http.get(), destination.empty() ? nullptr : destination.c_str(), nullptr));
  if (!dest) {
    return Fail(destination.empty() ? "CUPS has no default printer"
                                    : "CUPS has no printer named '" + destination + "'");
  }
  int jobId =
      cupsCreateJob(http.get(), dest->name, title.c_str(), dest->num_options, dest->options);
  if (jobId <= 0) return Fail(LastCupsError("CUPS refused the job"));
  Result result;
  result.jobId = jobId;
  if (!SendDocument(http.get(), *dest, jobId, pdf, title, result.message) ||
      !AwaitPrinter(http.get(), *dest, jobId, deadline, result.message)) {
    CancelJob(http.get(), *dest, jobId, deadline);
    return result;
  }
  result.ok = true;
  return result;
}
