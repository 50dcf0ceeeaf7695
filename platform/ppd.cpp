// PPD access through libcups. libcups marks its PPD interface deprecated;
// this file is the only user of it, so the warning is silenced here alone.
#include "platform/ppd.h"

#include <cerrno>
#include <cstring>

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace platform {

PPDFile openPPD(const std::string& path, std::string* error) {
  errno = 0;
  PPDFile ppd(ppdOpenFile(path.c_str()));
  if (ppd) {
    if (error != nullptr) error->clear();
    return ppd;
  }
  if (error != nullptr) {
    const int savedErrno = errno;
    int line = 0;
    const ppd_status_t status = ppdLastError(&line);
    std::string text = path + ": " + ppdErrorString(status);
    if (status == PPD_FILE_OPEN_ERROR && savedErrno != 0) {
      text += std::string(" (") + std::strerror(savedErrno) + ")";
    } else {
      text += " on line " + std::to_string(line);
    }
    *error = std::move(text);
  }
  return nullptr;
}

std::optional<std::string> ppdAttributeValue(ppd_file_t* ppd, const char* keyword) {
  if (ppd == nullptr || keyword == nullptr) return std::nullopt;
  const ppd_attr_t* attr = ppdFindAttr(ppd, keyword, nullptr);
  if (attr == nullptr || attr->value == nullptr) return std::nullopt;
  return std::string(attr->value);
}

bool ppdHasAttribute(ppd_file_t* ppd, const char* keyword) {
  if (ppd == nullptr || keyword == nullptr) return false;
  return ppdFindAttr(ppd, keyword, nullptr) != nullptr;
}

std::optional<std::string> ppdModelNameBytes(ppd_file_t* ppd) {
  if (ppd == nullptr || ppd->modelname == nullptr) return std::nullopt;
  return std::string(ppd->modelname);
}

}  // namespace platform
