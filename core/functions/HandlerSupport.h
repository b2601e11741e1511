// Steps every family handler shares: announcing a call on the trace channel,
// reading the request's parameter fragment, answering a worker start, and the
// answer of functions whose family exists but which later work fills in.
// Plain functions over caller-owned documents; called on the page's thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "gateway/CallHead.h"
#include "service/CServiceManager.h"

class CXmlDoc;

// Writes "[FunctionCall]<name>" for a routed function; false when
// (MainID, SubID) is not in the routing table.
bool AnnounceCall(const CallHead& head);

// The service's local store; before the service started, a store that was
// never opened, on which every method fails.
CLocalDB& LocalStore();

// The inner markup of the request's Param, or empty text when there is none.
std::u16string ParamText(CXmlDoc& request);

// Parses `param` into `doc` and makes its first `element` current; false when
// the fragment holds no such element.
bool FindParamElement(CXmlDoc& doc, std::u16string_view param, std::u16string_view element);

// Starts a request worker with copies of the head and `param`, then answers
// whether it started, with `body` when one is given.
void StartWorkerAndReply(CXmlDoc& request, const CallHead& head, std::u16string& reply,
                         CServiceManager::RequestProcedure procedure, std::u16string param,
                         std::optional<std::u16string_view> body = std::nullopt);

// A routed function that is not built yet: traced, no reply, status 0; an
// unrouted SubID gives status 1.
int TraceOnlyAnswer(const CallHead& head);
