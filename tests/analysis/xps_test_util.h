// Zip packages for the XPS tests, written by minizip (the zip library) from
// named parts, and a reader of corpus packages' parts.
#pragma once

#include <minizip/zip.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "scan/xps_zip.h"

namespace xps_test {

struct Entry {
  std::string name;
  std::string data;
  bool stored = false;  // written without compression
};

// The bytes of a zip package holding `entries` in the given order.
inline std::string make_zip(const std::vector<Entry>& entries) {
  char path[] = "/tmp/sw_xps_test_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  zipFile zip = zipOpen64(path, APPEND_STATUS_CREATE);
  for (const Entry& e : entries) {
    zip_fileinfo info{};
    zipOpenNewFileInZip64(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                          e.stored ? 0 : Z_DEFLATED, e.stored ? 0 : Z_DEFAULT_COMPRESSION, 0);
    zipWriteInFileInZip(zip, e.data.data(), static_cast<unsigned>(e.data.size()));
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path);
  return bytes;
}

inline const std::uint8_t* bytes_of(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One part of a package file (empty when it cannot be read).
inline std::string part_of(const std::string& package, const std::string& part) {
  XpsZipPtr zip(unzip_open(bytes_of(package), package.size()));
  if (!zip) return {};
  const std::optional<XpsFileList> list = unzip_get_filenames(zip.get());
  std::string data;
  if (!list || !get_xps_value(zip.get(), *list, part, false, &data)) return {};
  return data;
}

constexpr const char* RELS_NS = "http://schemas.openxmlformats.org/package/2006/relationships";

inline std::string relationships(const std::vector<std::pair<std::string, std::string>>& rels) {
  std::string text = std::string("<Relationships xmlns=\"") + RELS_NS + "\">";
  int id = 0;
  for (const auto& [type, target] : rels) {
    text += "<Relationship Type=\"http://schemas.microsoft.com/xps/2005/06/" + type +
            "\" Target=\"" + target + "\" Id=\"R" + std::to_string(id++) + "\"/>";
  }
  return text + "</Relationships>";
}

// A minimal package: start part, sequence, one document of `pages` (each the
// given page text), content types (unless left out), and optional extra parts.
struct Package {
  std::vector<std::string> pages;
  bool content_types = true;
  std::vector<Entry> extra;
  std::string sequence_rels;  // the sequence's relationships part, when not empty
};

inline std::string fixed_page(const std::string& body) {
  return "<FixedPage Width=\"793\" Height=\"1122\" xmlns=\"http://schemas.microsoft.com/xps/2005/06\">" +
         body + "</FixedPage>";
}

inline std::string make_package(const Package& p) {
  std::vector<Entry> entries;
  if (p.content_types) {
    entries.push_back({"[Content_Types].xml",
                       "<Types><Default Extension=\"fpage\" ContentType=\"application/vnd.ms-package.xps-fixedpage+xml\"/></Types>"});
  }
  entries.push_back({"_rels/.rels", relationships({{"fixedrepresentation", "/FixedDocumentSequence.fdseq"}})});
  entries.push_back({"FixedDocumentSequence.fdseq",
                     "<FixedDocumentSequence><DocumentReference Source=\"Documents/1/FixedDocument.fdoc\"/></FixedDocumentSequence>"});
  std::string doc = "<FixedDocument>";
  for (std::size_t i = 0; i < p.pages.size(); ++i) {
    const std::string name = "Pages/" + std::to_string(i + 1) + ".fpage";
    doc += "<PageContent Source=\"" + name + "\"/>";
    entries.push_back({"Documents/1/" + name, fixed_page(p.pages[i])});
  }
  entries.push_back({"Documents/1/FixedDocument.fdoc", doc + "</FixedDocument>"});
  if (!p.sequence_rels.empty()) entries.push_back({"_rels/FixedDocumentSequence.fdseq.rels", p.sequence_rels});
  for (const Entry& e : p.extra) entries.push_back(e);
  return make_zip(entries);
}

// A print ticket holding the given features.
inline std::string ticket(const std::string& features) {
  return "<psf:PrintTicket xmlns:psf=\"http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework\" "
         "xmlns:psk=\"http://schemas.microsoft.com/windows/2003/08/printing/printschemakeywords\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" version=\"1\">" +
         features + "</psf:PrintTicket>";
}

inline std::string integer(int value) {
  return "<psf:Value xsi:type=\"xsd:integer\">" + std::to_string(value) + "</psf:Value>";
}

inline std::string n_up_feature(const std::string& name, int n) {
  return "<psf:Feature name=\"psk:" + name + "\"><psf:Feature name=\"psk:PresentationDirection\">"
         "<psf:Option name=\"psk:RightBottom\" /></psf:Feature><psf:Option>"
         "<psf:ScoredProperty name=\"psk:PagesPerSheet\">" + integer(n) +
         "</psf:ScoredProperty></psf:Option></psf:Feature>";
}

}  // namespace xps_test
