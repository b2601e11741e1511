// The cashier handover: finish_worksection_thread, started by function 5/1,
// closes the current cashier work section with the counted figures, sets the
// stocks, opens the next section (all in one store transaction), uploads the
// closed section, prints the handover sheet and reports with "cb-1-4". Runs
// on its own worker thread; the upload waits for the service's upload lock.
//
// Also what both handovers share: the page's texts and their result callback.
#pragma once

#include <string>
#include <string_view>

#include "service/TaskArgs.h"

void finish_worksection_thread(TaskArgs& args);

// The immediate reply body of 5/1 and 3/2; the outcome follows by callback.
inline constexpr std::u16string_view kHandoverStartedBody = u"<remark>结果通过回调返回</remark>";

// Results shown to the cashier.
inline constexpr std::u16string_view kHandoverPending =
    u"本地有未提交的交班记录，暂时不能交班，请稍后再试或检查网络情况";
inline constexpr std::u16string_view kHandoverUnknownFailure = u"未知异常";
inline constexpr std::u16string_view kHandoverDone = u"交班成功";
inline constexpr std::u16string_view kHandoverNegativeRemainder =
    u"剩余数量不能为负数, 交接班失败";

// The reply envelope of a handover worker, with `message` as the error text
// the page shows in both outcomes.
void SendHandoverResult(TaskArgs& args, std::u16string_view code, bool result,
                        std::u16string_view message);

// The cash difference as the page shows it ("多了1.5", "少了2") as the
// signed amount the section keeps: "1.50", "-2.00"; any other text is "0".
std::u16string DifferenceText(std::u16string_view shown);
