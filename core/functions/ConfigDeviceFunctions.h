// Family 2's settings and device functions: save and read the settings
// document (2/0, 2/1), list printers and ports (2/2), check the lock password
// (2/5) and start the barcode monitor (2/8). Each reads its request from
// `doc`, writes the reply envelope into `reply` and returns 0 (handled), as
// the family handler does. Page thread.
#pragma once

#include <string>

#include "gateway/CallHead.h"

class CXmlDoc;

int SetConfigFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int GetConfigFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int GetDeviceFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int VerifyUserPasswordFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int StartBarcodeMonitorFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
