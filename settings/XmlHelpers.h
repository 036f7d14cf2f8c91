// Small DOM helpers both settings files read and write with.
#pragma once

#include "platform/ComSupport.h"
#include "platform/MsXml.h"

#include <string>

// Sets async off and loads the file. 0 on success, the parse error's code (negative) when the file is
// missing or does not parse, E_FAIL when no error object answers, or the failing call's HRESULT. When the
// parser refused the file, psReason (if given) receives DescribeXMLParseError's text.
HRESULT LoadXMLDocument(IXMLDOMDocument2* pDoc, const std::string& sPath, std::string* psReason = nullptr);
// Traces the reason and, when known, the line, position and file of a parse error.
void ReportXMLParseError(IXMLDOMParseError* pError);
// "<file> line <n>, column <n>: <parser's message>", the line and column left out when unknown; empty when
// the error cannot be read.
std::string DescribeXMLParseError(IXMLDOMParseError* pError, const std::string& sPath);
// An element (1) or attribute (2) of the document, not yet in the tree; null on failure (hr tells why).
CComPtr<IXMLDOMNode> XMLCreateNode(IXMLDOMDocument2* pDoc, LONG nNodeType, const char* pszName, HRESULT* phr);
// Adds the attribute to the element's map and sets its text. S_FALSE when the document or map is missing.
HRESULT XMLSetTextAttribute(IXMLDOMDocument2* pDoc, IXMLDOMNamedNodeMap* pAttributes, const char* pszName,
                            const std::string& sText);
HRESULT XMLSetIntAttribute(IXMLDOMDocument2* pDoc, IXMLDOMNamedNodeMap* pAttributes, const char* pszName,
                           int nValue);
// The attribute's typed value: a VT_BSTR for an untyped attribute.
HRESULT XMLReadAttributeValue(IXMLDOMNode* pAttribute, VARIANT* pValue);
HRESULT XMLSaveDocument(IXMLDOMDocument2* pDoc, const std::string& sPath);
