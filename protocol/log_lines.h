// The verdict and report lines the protocol writes to the traffic log, letter for letter.
// Several differ from look-alikes only in their alphabet: kLineOk is spelt with the Cyrillic
// letters О and К, unlike the Latin "   : OK." of the port list.
#pragma once

#include <string>

inline constexpr const char* kLineOk = "   : \u041E\u041A.";
inline constexpr const char* kLineError = "   : ОШИБКА.";
inline constexpr const char* kLineBadId = "   : НЕВЕРНЫЙ ID УСТРОЙСТВА.";
inline constexpr const char* kLineBadLength = "   : НЕВЕРНАЯ ДЛИНА ОТВЕТА.";
inline constexpr const char* kLineTimeOut = "   : TIME OUT.";
inline constexpr const char* kLineCrcError = "   : CRC ERROR.";
inline constexpr const char* kLineOpenFailed = "   : ОШИБКА ОТКРЫТИЯ ПОРТА ";  // + the port's name
inline constexpr const char* kLineNotFound = "   : ПРИБОР <ТАРВИ-А(-З)> НЕ ОБНАРУЖЕН...";

// The mode line for a value of register 3; nullptr for 1 and values above 10.
const char* ModeLine(unsigned mode);

// "   : ОБНАРУЖЕН ПРИБОР <model> ПО АДРЕСУ " for an id of the family (the address follows);
// empty for any other id.
std::string FoundDeviceLine(unsigned id);
