// The family handlers the dispatcher routes to, one per MainID. Each reads
// its request from `doc`, writes its reply (possibly empty) into `reply`, and
// returns 0 when the SubID was handled, 1 when the SubID is not one of its own.
// They run on the page's thread.
#pragma once

#include <string>

#include "gateway/CallHead.h"

class CXmlDoc;

int DispatchTest(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int DispatchWare(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int DispatchConfig(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int DispatchMaterial(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int DispatchSales(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int DispatchWorkSection(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int DispatchWindow(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int DispatchHelp(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
