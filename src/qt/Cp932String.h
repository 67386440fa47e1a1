// Text between the core and Qt, for every Qt part of the program (the
// window, the automation interface, start-up).
//
// The core, NAMI.INI and the link hold CP932; Qt holds UTF-16. Qt code
// converts through FromCp932/ToCp932 here, which go through the core's one
// converter (text/Cp932).
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace nami {

QString FromCp932(std::string_view cp932);
std::string ToCp932(const QString& text);

}  // namespace nami
