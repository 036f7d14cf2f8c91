#include "host/HostReport.h"

#include "contract/BufferInstruction.h"

#include "contract/DLLContext.h"
#include "host/ReportNames.h"

#include <cstdio>
#include <sstream>

namespace
{
std::string Hex(DWORD dw)
{
    char szBuffer[16];
    std::snprintf(szBuffer, sizeof(szBuffer), "0x%08X", static_cast<unsigned>(dw));
    return szBuffer;
}

std::string Description(const HTTP_FILTER_VERSION& version)
{
    size_t nLen = 0;
    while (nLen < sizeof(version.lpszFilterDesc) && version.lpszFilterDesc[nLen] != '\0')
        ++nLen;
    return std::string(version.lpszFilterDesc, nLen);
}

void ReportChanges(std::ostringstream& out, const char* pszTitle,
                   const std::vector<CHeaderChange>& vecChanges)
{
    if (vecChanges.empty())
        return;
    out << pszTitle << ":\n";
    for (const auto& change : vecChanges)
        out << "  " << change.m_strName << " " << change.m_strValue << "  (at "
            << NotificationName(change.m_dwNotification) << ")\n";
}

void JsonChanges(std::ostringstream& out, const char* pszKey, const std::vector<CHeaderChange>& vecChanges)
{
    out << "\"" << pszKey << "\":[";
    for (size_t i = 0; i < vecChanges.size(); ++i)
    {
        const auto& change = vecChanges[i];
        out << (i ? "," : "") << "{\"name\":" << JsonString(change.m_strName)
            << ",\"value\":" << JsonString(change.m_strValue)
            << ",\"notification\":" << change.m_dwNotification << "}";
    }
    out << "]";
}

void JsonHeaders(std::ostringstream& out, const HeaderList& headers)
{
    out << "[";
    for (size_t i = 0; i < headers.size(); ++i)
        out << (i ? "," : "") << "{\"name\":" << JsonString(headers[i].first)
            << ",\"value\":" << JsonString(headers[i].second) << "}";
    out << "]";
}
} // namespace

namespace
{
// The length of the well-formed UTF-8 sequence at nPos, or 0 when the bytes there are not one.
size_t Utf8SequenceLength(const std::string& strText, size_t nPos)
{
    const auto Byte = [&](size_t n) { return static_cast<unsigned char>(strText[n]); };
    const unsigned char c = Byte(nPos);
    size_t nLen = 0;
    unsigned char cMin = 0x80;
    unsigned char cMax = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        nLen = 2;
    else if (c >= 0xE0 && c <= 0xEF)
    {
        nLen = 3;
        cMin = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        cMax = c == 0xED ? 0x9F : 0xBF; // no surrogates
    }
    else if (c >= 0xF0 && c <= 0xF4)
    {
        nLen = 4;
        cMin = c == 0xF0 ? 0x90 : 0x80;
        cMax = c == 0xF4 ? 0x8F : 0xBF;
    }
    if (nLen == 0 || nPos + nLen > strText.size())
        return 0;
    if (Byte(nPos + 1) < cMin || Byte(nPos + 1) > cMax)
        return 0;
    for (size_t n = 2; n < nLen; ++n)
    {
        if (Byte(nPos + n) < 0x80 || Byte(nPos + n) > 0xBF)
            return 0;
    }
    return nLen;
}
} // namespace

std::string JsonString(const std::string& strText)
{
    std::string strOut = "\"";
    for (size_t nPos = 0; nPos < strText.size(); ++nPos)
    {
        const auto c = static_cast<unsigned char>(strText[nPos]);
        switch (c)
        {
        case '"':
            strOut += "\\\"";
            break;
        case '\\':
            strOut += "\\\\";
            break;
        case '\n':
            strOut += "\\n";
            break;
        case '\r':
            strOut += "\\r";
            break;
        case '\t':
            strOut += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F)
            {
                char szEscape[8];
                std::snprintf(szEscape, sizeof(szEscape), "\\u%04x", c);
                strOut += szEscape;
            }
            else if (c < 0x80)
            {
                strOut += static_cast<char>(c);
            }
            else if (const size_t nLen = Utf8SequenceLength(strText, nPos); nLen != 0)
            {
                strOut.append(strText, nPos, nLen);
                nPos += nLen - 1;
            }
            else
            {
                strOut += "\\ufffd";
            }
        }
    }
    return strOut + "\"";
}

namespace
{
const char* EventTypeName(WORD wType)
{
    switch (wType)
    {
    case EVENTLOG_ERROR_TYPE:
        return "error";
    case EVENTLOG_WARNING_TYPE:
        return "warning";
    default:
        return "information";
    }
}

void ReportEvents(std::ostringstream& out, const std::vector<RecordedEvent>& vecEvents)
{
    for (const RecordedEvent& event : vecEvents)
    {
        out << "Event:             " << EventTypeName(event.m_wType) << " " << Hex(event.m_dwEventId);
        for (const std::string& strText : event.m_strings)
            out << " \"" << strText << "\"";
        out << "\n";
    }
}

void JsonEvents(std::ostringstream& out, const std::vector<RecordedEvent>& vecEvents)
{
    out << ",\"events\":[";
    for (size_t i = 0; i < vecEvents.size(); ++i)
    {
        const RecordedEvent& event = vecEvents[i];
        out << (i ? "," : "") << "{\"type\":" << event.m_wType << ",\"id\":" << event.m_dwEventId
            << ",\"strings\":[";
        for (size_t k = 0; k < event.m_strings.size(); ++k)
            out << (k ? "," : "") << JsonString(event.m_strings[k]);
        out << "]}";
    }
    out << "]";
}
} // namespace

std::string FormatReport(const CHostRun& run)
{
    std::ostringstream out;
    out << "Module:            " << run.m_strModulePath << "\n";
    ReportEvents(out, run.m_vecEvents);
    if (!run.m_bVersionResult)
    {
        out << "GetFilterVersion:  0 (the worker did not start)\n";
        return out.str();
    }
    out << "Filter version:    revision " << Hex(run.m_version.dwFilterVersion) << ", flags "
        << Hex(run.m_version.dwFlags) << ", \"" << Description(run.m_version) << "\"\n";
    const CHostRequest& request = run.m_request;
    const CHostResult& result = run.m_result;
    out << "Request:           " << request.m_raw.m_strMethod << " " << request.m_raw.m_strURL << " "
        << request.m_raw.m_strVersion << "\n";
    out << "Host inputs:       SubscriptionType " << result.m_dwSubscriptionType << ", CriteriaID "
        << result.m_dwCriteriaID << ", client " << request.m_strClientAddress << ", user "
        << (request.m_strUser.empty() ? "(anonymous)" : request.m_strUser) << "\n";
    out << "Notifications:\n";
    for (const auto& record : result.m_vecNotifications)
    {
        char szLine[160];
        std::snprintf(szLine, sizeof(szLine), "  0x%08X %-24s RC=%-3u Control Message=<%s>\n",
                      static_cast<unsigned>(record.m_dwType), NotificationName(record.m_dwType),
                      static_cast<unsigned>(record.m_dwCode), ControlMessageName(record.m_dwControlMessage));
        out << szLine;
    }
    out << "Request flags:     " << Hex(result.m_dwRequestFlags);
    const auto vecNames = RequestFlagNames(result.m_dwRequestFlags);
    for (size_t i = 0; i < vecNames.size(); ++i)
        out << (i ? ", " : " (") << vecNames[i] << (i + 1 == vecNames.size() ? ")" : "");
    out << "\n";
    out << "Setting ID:        " << result.m_dwSettingID << "\n";
    ReportChanges(out, "Request headers set", result.m_vecRequestHeadersSet);
    ReportChanges(out, "Request headers added", result.m_vecRequestHeadersAdded);
    ReportChanges(out, "Response headers set", result.m_vecResponseHeadersSet);
    ReportChanges(out, "Response headers added", result.m_vecResponseHeadersAdded);
    if (!result.m_strRefusal.empty())
    {
        out << "Refused by host:   400 Bad Request (" << result.m_strRefusal << ")\n";
        return out.str();
    }
    out << "Passed on:         " << result.m_strMethod << " " << result.m_strURL << " " << result.m_strVersion
        << "\n";
    if (result.m_bResponseSent)
        out << "Response sent by the worker (" << result.m_strResponseSent.size() << " bytes):\n"
            << result.m_strResponseSent << "\n";
    else if (result.m_bBodyReplaced)
        out << "Page replaced by the worker (" << result.m_strBody.size() << " bytes):\n"
            << result.m_strBody << "\n";
    else if (result.m_bInstructionsSubmitted)
    {
        out << "Page rewritten:    " << result.m_nInstructions << " instructions, "
            << (result.m_dwSubmitResult == 0 ? "applied" : "refused (" + result.m_strSubmitError + ")")
            << ", " << result.m_strBody.size() << " bytes\n";
        out << "Instructions:\n";
        for (const CHostInstruction& instruction : result.m_vecInstructions)
        {
            if (instruction.m_dwKind == BI_INSERT)
                out << "  insert at " << instruction.m_llPosition << ": " << JsonString(instruction.m_strText)
                    << "\n";
            else if (instruction.m_dwKind == BI_DELETE)
                out << "  delete at " << instruction.m_llPosition << ", " << instruction.m_dwLength
                    << " bytes\n";
            else
                out << "  kind " << instruction.m_dwKind << " at " << instruction.m_llPosition << "\n";
        }
    }
    else
        out << "Page:              status " << result.m_dwStatus << ", " << result.m_strBody.size()
            << " bytes, unchanged\n";
    return out.str();
}

std::string FormatJson(const CHostRun& run)
{
    std::ostringstream out;
    out << "{\"module\":" << JsonString(run.m_strModulePath);
    out << ",\"filter_version\":{\"result\":" << run.m_bVersionResult;
    if (run.m_bVersionResult)
        out << ",\"revision\":" << run.m_version.dwFilterVersion << ",\"flags\":" << run.m_version.dwFlags
            << ",\"description\":" << JsonString(Description(run.m_version));
    out << "}";
    JsonEvents(out, run.m_vecEvents);
    if (!run.m_bProcessed)
    {
        out << "}";
        return out.str();
    }
    const CHostRequest& request = run.m_request;
    const CHostResult& result = run.m_result;
    out << ",\"request\":{\"method\":" << JsonString(request.m_raw.m_strMethod)
        << ",\"url\":" << JsonString(request.m_raw.m_strURL)
        << ",\"subscription_type\":" << result.m_dwSubscriptionType
        << ",\"criteria_id\":" << result.m_dwCriteriaID
        << ",\"client_address\":" << JsonString(request.m_strClientAddress)
        << ",\"user\":" << JsonString(request.m_strUser) << "}";
    out << ",\"notifications\":[";
    for (size_t i = 0; i < result.m_vecNotifications.size(); ++i)
    {
        const auto& record = result.m_vecNotifications[i];
        out << (i ? "," : "") << "{\"type\":" << record.m_dwType
            << ",\"name\":" << JsonString(NotificationName(record.m_dwType))
            << ",\"code\":" << record.m_dwCode
            << ",\"control_message\":" << JsonString(ControlMessageName(record.m_dwControlMessage)) << "}";
    }
    out << "],\"request_flags\":" << result.m_dwRequestFlags << ",\"request_flag_names\":[";
    const auto vecNames = RequestFlagNames(result.m_dwRequestFlags);
    for (size_t i = 0; i < vecNames.size(); ++i)
        out << (i ? "," : "") << JsonString(vecNames[i]);
    out << "],\"setting_id\":" << result.m_dwSettingID << ",";
    JsonChanges(out, "request_headers_set", result.m_vecRequestHeadersSet);
    out << ",";
    JsonChanges(out, "request_headers_added", result.m_vecRequestHeadersAdded);
    out << ",";
    JsonChanges(out, "response_headers_set", result.m_vecResponseHeadersSet);
    out << ",";
    JsonChanges(out, "response_headers_added", result.m_vecResponseHeadersAdded);
    out << ",\"response_sent\":" << (result.m_bResponseSent ? JsonString(result.m_strResponseSent) : "null");
    out << ",\"refused\":" << (result.m_strRefusal.empty() ? "null" : JsonString(result.m_strRefusal));
    out << ",\"passed_on\":{\"method\":" << JsonString(result.m_strMethod)
        << ",\"url\":" << JsonString(result.m_strURL) << ",\"headers\":";
    JsonHeaders(out, result.m_vecRequestHeaders);
    out << "},\"status\":" << result.m_dwStatus << ",\"response_headers\":";
    JsonHeaders(out, result.m_vecResponseHeaders);
    out << ",\"body_replaced\":" << (result.m_bBodyReplaced ? "true" : "false")
        << ",\"instructions_submitted\":" << (result.m_bInstructionsSubmitted ? "true" : "false")
        << ",\"instruction_count\":" << result.m_nInstructions << ",\"instructions\":[";
    for (size_t i = 0; i < result.m_vecInstructions.size(); ++i)
    {
        const CHostInstruction& instruction = result.m_vecInstructions[i];
        out << (i ? "," : "") << "{\"kind\":"
            << (instruction.m_dwKind == BI_INSERT   ? "\"insert\""
                : instruction.m_dwKind == BI_DELETE ? "\"delete\""
                                                    : "\"unknown\"")
            << ",\"position\":" << instruction.m_llPosition;
        if (instruction.m_dwKind == BI_INSERT)
            out << ",\"text\":" << JsonString(instruction.m_strText);
        else
            out << ",\"length\":" << instruction.m_dwLength;
        out << "}";
    }
    out << "],\"submit_result\":" << result.m_dwSubmitResult
        << ",\"submit_error\":" << JsonString(result.m_strSubmitError)
        << ",\"body\":" << JsonString(result.m_strBody) << ",\"terminate_result\":" << run.m_dwTerminateResult
        << "}";
    return out.str();
}
