#include "operations/WorkerReply.h"

#include "gateway/CallHead.h"
#include "service/WorkerTask.h"
#include "support/CXmlDoc.h"

int SendWorkerResult(TaskArgs& args, std::u16string_view code, bool result,
                     std::optional<std::u16string_view> body) {
  CXmlDoc doc;
  const std::u16string payload = BuildReply(doc, args.head, result, body);
  return args.task->NotifyPage(code, payload);
}
