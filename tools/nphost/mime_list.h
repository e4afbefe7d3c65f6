// The MIME types a plug-in declares in its version resource's MIMEType value: types separated by "|",
// as browsers' plug-in scanners on Windows read them.
#pragma once

#include <string>

// True when the list names the type; MIME types compare without regard to ASCII letter case, and
// blanks around an entry are not part of it.
bool MimeListHas(const std::string& list, const std::string& type);
