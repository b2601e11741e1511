// The material handover: finish_metarial_worksection_thread, started by
// function 3/2, closes the current material work section with the counted
// materials and cups, sets the material stocks and opens the next section
// with the cups left (in one store transaction), uploads the closed section,
// prints the material handover sheet and reports with "cb-1-5". Runs on its
// own worker thread; the upload waits for the service's upload lock.
#pragma once

#include <string_view>

#include "service/TaskArgs.h"

void finish_metarial_worksection_thread(TaskArgs& args);

// The outcome when the handover was stored but its sheet did not print.
inline constexpr std::u16string_view kMaterialSheetFailed = u"交班成功。但打印功能异常，打印失败";
