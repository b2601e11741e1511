#include "functions/ConfigLoginFunctions.h"

#include <optional>
#include <string_view>

#include "functions/HandlerSupport.h"
#include "operations/CallbackCodes.h"
#include "operations/WorkerReply.h"
#include "server/SessionLogin.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"
#include "support/Trace.h"

namespace {

// The immediate answer of a login: the result follows through the callback.
constexpr std::u16string_view kLoggingInRemark =
    u"<Remark>状态显示正在登录，稍后异步的通过回调将结果返回</Remark>";

std::optional<std::u16string_view> PageBody(const LoginOutcome& outcome) {
  if (outcome.body.empty()) return std::nullopt;
  return outcome.body;
}

}  // namespace

void login_user_thread(TaskArgs& args) {
  Trace::Write("start login_user_thread");
  const LoginOutcome outcome = RunUserLogin(CServiceManager::GetInstance(), args.param);
  SendWorkerResult(args, CallbackCode::kUserLogin, outcome.result, PageBody(outcome));
  Trace::Write("end login_user_thread");
}

void login_netbar_thread(TaskArgs& args) {
  Trace::Write("start login_netbar_thread");
  const LoginOutcome outcome = RunNetbarLogin(CServiceManager::GetInstance(), args.param);
  SendWorkerResult(args, CallbackCode::kNetbarLogin, outcome.result, PageBody(outcome));
  Trace::Write("end login_netbar_thread");
}

int UserLoginFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  AnnounceCall(head);
  StartWorkerAndReply(doc, head, reply, login_user_thread, ParamText(doc), kLoggingInRemark);
  return 0;
}

int NetbarLoginFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  AnnounceCall(head);
  StartWorkerAndReply(doc, head, reply, login_netbar_thread, ParamText(doc), kLoggingInRemark);
  return 0;
}

int StartKeepAliveFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  AnnounceCall(head);
  const bool started = CServiceManager::GetInstance().StartKeepAlive();
  reply = BuildReply(doc, head, started, std::u16string_view(u"<Remark/>"));
  return 0;
}
