// Where the DOM reads and writes a document given by a Windows path.
#pragma once

#include <string>

// The host path of a Windows path, mapped as the platform's file layer maps every path.
std::string DlswXmlHostPath(const std::string& sWindowsPath);
