// The program keeps its texts in UTF-8; Windows shows them through the wide API.
#pragma once

#include <string>

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
