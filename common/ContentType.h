// The MIME type the registry gives a file extension.
#pragma once

#include <string>

// Reads "Content Type" of HKEY_CLASSES_ROOT\<extension> (extension with its leading dot). True with the
// type (empty for an empty value) when the registry has one; false, with sContentType unchanged and a trace
// line, when the key, the value or a text value is missing or unreadable.
bool IdentifyContentType(const char* pszExtension, std::string& sContentType);
