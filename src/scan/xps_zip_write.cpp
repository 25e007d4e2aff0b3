// Writing a new package from an open one: replaced parts deflated anew, every
// other entry copied as it is stored (no inflating and deflating again), into
// a temporary file that reaches the output stream only once it is complete.
#include <minizip/zip.h>
#include <zlib.h>

#include <cinttypes>
#include <string>
#include <string_view>

#include "scan/xps_zip.h"
#include "scan/xps_zip_internal.h"
#include "foundation/log.h"
#include "foundation/os_file.h"

namespace {

constexpr int DEFLATE_LEVEL = 9;
constexpr std::uint64_t ZIP32_LIMIT = 0xFFFFFFFFu;
constexpr std::size_t TEMP_NAME_SIZE = 4096;

// Closes the zip being written when a step fails.
struct ZipWriter {
  zipFile zip = nullptr;
  ~ZipWriter() {
    if (zip != nullptr) (void)zipClose(zip, nullptr);
  }
};

// Writes one entry holding `data`, deflated. 0 or the library's error code.
int add_file_to_zip(zipFile zip, const std::string& name, std::string_view data) {
  zip_fileinfo info{};
  const int zip64 = data.size() >= ZIP32_LIMIT ? 1 : 0;
  int err = zipOpenNewFileInZip3_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                    Z_DEFLATED, DEFLATE_LEVEL, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                    Z_DEFAULT_STRATEGY, nullptr, 0, zip64);
  if (err != ZIP_OK) {
    LOG_ERROR("add_file_to_zip: error %d in opening '%s' in zipfile", err, name.c_str());
    return err;
  }
  std::size_t done = 0;
  do {
    const std::size_t n = std::min(data.size() - done, XPS_ZIP_WRITE_BLOCK);
    err = zipWriteInFileInZip(zip, data.data() + done, static_cast<unsigned>(n));
    if (err != ZIP_OK) {
      LOG_ERROR("add_file_to_zip: error in writing '%s' in the zipfile", name.c_str());
      (void)zipCloseFileInZip(zip);
      return err;
    }
    done += n;
  } while (done < data.size());
  err = zipCloseFileInZip(zip);
  if (err != ZIP_OK) LOG_ERROR("add_file_to_zip: error in closing '%s' in the zipfile", name.c_str());
  return err;
}

// Streams the open raw entry into the open raw entry of the new package.
bool copy_raw_bytes(unzFile from, zipFile to, const std::string& entry) {
  std::string block(XPS_ZIP_READ_BLOCK, '\0');
  for (;;) {
    const int n = unzReadCurrentFile(from, block.data(), static_cast<unsigned>(block.size()));
    if (n < 0) {
      LOG_ERROR("save_to_zip: error %d reading '%s'", n, entry.c_str());
      return false;
    }
    if (n == 0) return true;
    if (zipWriteInFileInZip(to, block.data(), static_cast<unsigned>(n)) != ZIP_OK) {
      LOG_ERROR("add_file_to_zip: error in writing '%s' in the zipfile", entry.c_str());
      return false;
    }
  }
}

// Copies one entry of the old package as it is stored (its compressed bytes,
// CRC and sizes) under the same name.
bool copy_entry(XpsZip* old, zipFile to, const std::string& entry) {
  if (!xps_zip_go_to_entry(old, entry)) return false;
  unz_file_info64 info{};
  if (unzGetCurrentFileInfo64(old->unz, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    LOG_ERROR("save_to_zip: cannot read the information of '%s'", entry.c_str());
    return false;
  }
  int method = 0;
  int level = 0;
  if (unzOpenCurrentFile2(old->unz, &method, &level, 1) != UNZ_OK) {
    LOG_ERROR("save_to_zip: cannot open '%s'", entry.c_str());
    return false;
  }
  zip_fileinfo zinfo{};
  const int zip64 = info.uncompressed_size >= ZIP32_LIMIT || info.compressed_size >= ZIP32_LIMIT;
  bool ok = zipOpenNewFileInZip3_64(to, entry.c_str(), &zinfo, nullptr, 0, nullptr, 0, nullptr,
                                    method, level, 1, -MAX_WBITS, DEF_MEM_LEVEL,
                                    Z_DEFAULT_STRATEGY, nullptr, 0, zip64) == ZIP_OK;
  if (!ok) LOG_ERROR("add_file_to_zip: error in opening '%s' in zipfile", entry.c_str());
  ok = ok && copy_raw_bytes(old->unz, to, entry);
  (void)unzCloseCurrentFile(old->unz);
  if (ok && zipCloseFileInZipRaw64(to, info.uncompressed_size, info.crc) != ZIP_OK) {
    LOG_ERROR("add_file_to_zip: error in closing '%s' in the zipfile", entry.c_str());
    ok = false;
  }
  LOG_DEV("  zipping '%s'", entry.c_str());
  return ok;
}

bool write_parts(XpsZip* old, const XpsFileList& list, const XpsReplacedParts& replaced,
                 zipFile to) {
  for (const XpsPart& part : list.parts) {
    const auto found = replaced.find(part.name);
    if (found != replaced.end()) {
      LOG_DEBUG("Saving modified file '%s', size=%zu", part.name.c_str(), found->second.size());
      if (add_file_to_zip(to, part.name.substr(1), found->second) != ZIP_OK) return false;
      continue;
    }
    for (const std::string& entry : part.entries) {
      if (!copy_entry(old, to, entry)) return false;
    }
  }
  return true;
}

bool write_package(XpsZip* old, const XpsFileList& list, const XpsReplacedParts& replaced,
                   const char* path) {
  ZipWriter writer;
  writer.zip = zipOpen64(path, APPEND_STATUS_CREATE);
  if (writer.zip == nullptr) {
    LOG_ERROR("save_to_zip_random_access: error opening '%s'", path);
    return false;
  }
  LOG_DEV("save_to_zip_random_access: creating '%s'", path);
  if (!write_parts(old, list, replaced, writer.zip)) return false;
  const int err = zipClose(writer.zip, nullptr);
  writer.zip = nullptr;
  if (err != ZIP_OK) {
    LOG_ERROR("save_to_zip_random_access: error in closing '%s'", path);
    return false;
  }
  return true;
}

}  // namespace

int save_to_zip(XpsZip* zip, const XpsFileList& list, const XpsReplacedParts& replaced,
                std::FILE* out) {
  if (zip == nullptr || out == nullptr) return 0;
  char temp[TEMP_NAME_SIZE];
  if (os_file_make_temp(temp, sizeof temp) == 0) return 0;
  int result = 0;
  if (write_package(zip, list, replaced, temp)) {
    result = os_file_copy_path(temp, out) != 0 ? 1 : 0;
    if (result == 0) LOG_ERROR("save_to_zip: Could not copy tempfilename='%s'", temp);
  }
  (void)os_file_delete(temp);
  return result;
}
