// Text conversions of the viewer's request parameters.
#pragma once

#include <string>

class CStringOperation
{
public:
    // Replaces Base64 text (standard alphabet) by what it stands for, up to its first NUL byte.
    // Characters outside the alphabet, the "=" fill and line breaks included, are passed over; a last
    // group of 2 or 3 characters gives 1 or 2 bytes. False, and the text unchanged, for an empty text.
    static bool Decode64(std::string& strText);
};
