// Base64 (RFC 4648 alphabet, "=" padding, no line breaks): the form in which a page hands a document
// to the plug-in's print method.
#pragma once

#include <string>

std::string EncodeBase64(const std::string& bytes);
