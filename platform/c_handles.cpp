// SPDX-License-Identifier: Apache-2.0
// The deleters of c_handles.h: the only place that frees these handles,
// except those of the libraries the modules hold, which live with the code
// that calls them so that the framework library does not link them:
// libcurl's in the HTTP module (http/curl_transport.cpp), ICU's in the
// Unicode module (unicode/icu_module.cpp), and the XML document's in xml.cpp,
// which hands it to the XML module.
#include "platform/c_handles.h"

#include <cups/cups.h>
#include <cups/ipp.h>
#include <cups/ppd.h>
#include <dlfcn.h>
#include <iconv.h>
#include <locale.h>
#include <plist/plist.h>
#include <unistd.h>

#include <cstdlib>

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // ppdClose

namespace platform {

void PlistFree::operator()(void* node) const noexcept {
  if (node) plist_free(node);
}

void PlistXmlFree::operator()(char* xml) const noexcept {
  if (xml) plist_to_xml_free(xml);
}

void MallocFree::operator()(void* block) const noexcept {
  std::free(block);
}

void LocaleFree::operator()(__locale_struct* locale) const noexcept {
  freelocale(locale);
}

void CupsDestFree::operator()(cups_dest_t* dest) const noexcept {
  cupsFreeDests(1, dest);
}

void CupsDestsFree::operator()(cups_dest_t* dests) const noexcept {
  cupsFreeDests(count, dests);
}

void HttpClose::operator()(http_t* http) const noexcept {
  httpClose(http);
}

void IppDelete::operator()(ipp_t* message) const noexcept {
  ippDelete(message);
}

void PPDCloser::operator()(ppd_file_t* ppd) const noexcept {
  if (ppd != nullptr) ppdClose(ppd);
}

void SharedLibraryClose::operator()(void* handle) const noexcept {
  if (handle) dlclose(handle);
}

IconvHandle::IconvHandle(const char* to, const char* from) noexcept : cd_(iconv_open(to, from)) {}

IconvHandle::~IconvHandle() {
  if (valid()) iconv_close(cd_);
}

void IconvHandle::reset() const noexcept {
  if (valid()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
}

bool UniqueFd::close() noexcept {
  if (fd_ < 0) return true;
  return ::close(std::exchange(fd_, -1)) == 0;
}

void UniqueFd::reset() noexcept {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

}  // namespace platform
