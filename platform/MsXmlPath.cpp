#include "platform/MsXmlPath.h"

// Until the file layer is in: drive Z: is the root, backslashes are separators, other paths stay.
std::string DlswXmlHostPath(const std::string& sWindowsPath)
{
    std::string s = sWindowsPath;
    if (s.size() >= 2 && (s[0] == 'Z' || s[0] == 'z') && s[1] == ':')
        s.erase(0, 2);
    for (char& c : s)
    {
        if (c == '\\')
            c = '/';
    }
    return s;
}
