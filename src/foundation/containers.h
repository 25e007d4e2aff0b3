// Owning containers of the system: a growable byte buffer (ext_buf) and the
// list types built on it. Every list keeps its elements back to back in one
// ext_buf and owns a private copy of whatever is put into it; texts and blobs
// handed out by the get operations stay owned by the list and are valid until
// the element is replaced or deleted, or the list is freed (or, for pointers
// into the element array itself, until the next append).
//
// Results: 1 for success and 0 for failure unless a comment says otherwise.
// Failures are logged as ERROR entries where they are found. Memory handed to
// the caller (joins, ext_buf_as_cstr) comes from malloc and is released with
// std::free; records from the create operations with their free operation.
#pragma once

#include <cstdint>

#include "foundation/owned.h"

// ---------------------------------------------------------------------------
// ext_buf: growable byte buffer. The storage is always one byte larger than
// the capacity, so there is room for a terminator behind the used bytes.

inline constexpr std::uint64_t EXT_BUF_DEFAULT_CAPACITY = 16384;

struct ext_buf {
  std::uint64_t _size = 0;        // bytes in use
  std::uint8_t* _data = nullptr;  // capacity + 1 bytes
  std::uint64_t _capacity = 0;
};

// New empty buffer with room for `capacity` bytes; nullptr on failure.
[[nodiscard]] ext_buf* ext_buf_create_ex(std::uint64_t capacity);
// New empty buffer of EXT_BUF_DEFAULT_CAPACITY bytes; nullptr on failure.
[[nodiscard]] ext_buf* ext_buf_create();
// Appends `count` bytes, doubling the capacity as needed (from 1 when it is
// 0). When the storage cannot be grown, 0 is returned and the buffer keeps
// its old storage and content.
[[nodiscard]] int ext_buf_append(ext_buf* buf, const void* bytes, std::uint64_t count);
// Appends the pointer value itself (its 8 bytes).
[[nodiscard]] int ext_buf_append_pointer(ext_buf* buf, const void* pointer);
[[nodiscard]] int ext_buf_append_byte(ext_buf* buf, std::uint8_t byte);
// Appends all used bytes of `source` to `target`.
[[nodiscard]] int ext_buf_concat(ext_buf* target, const ext_buf* source);
// Replaces the storage by a copy of exactly `count` bytes; capacity and used
// size become `count`.
[[nodiscard]] int ext_buf_replace(ext_buf* buf, const void* bytes, std::uint64_t count);
// Used size 0, storage kept.
void ext_buf_reset(ext_buf* buf);
// Storage pointer / used size; nullptr / 0 (logged) for a missing buffer.
[[nodiscard]] std::uint8_t* ext_buf_data(const ext_buf* buf);
[[nodiscard]] std::uint64_t ext_buf_size(const ext_buf* buf);
// New zero-terminated copy of the used bytes (std::free it); nullptr for a
// missing or empty buffer.
[[nodiscard]] char* ext_buf_as_cstr(const ext_buf* buf);
// Frees storage and record; nullptr is ignored.
void ext_buf_free(ext_buf* buf);
using ExtBufPtr = Owned<ext_buf, ext_buf_free>;

// ---------------------------------------------------------------------------
// string_list: owned texts. Each copy ends in two zero bytes, so one entry can
// hold a run of zero-separated texts when the caller gives the run's length.

struct string_list {
  std::int32_t _size = 0;
  ext_buf* _buf = nullptr;  // array of char* to the private copies
};

// New empty list; nullptr (logged) when out of memory. The same holds for
// every *_create below.
[[nodiscard]] string_list* string_list_create();
// Copies `length` bytes of `text` (0 means strlen(text)) and terminates the
// copy with two zero bytes.
[[nodiscard]] int string_list_append_ex(string_list* list, const char* text, std::uint64_t length);
[[nodiscard]] int string_list_append(string_list* list, const char* text);
// The text at `index`; nullptr (logged) outside 0..size-1.
[[nodiscard]] const char* string_list_get(const string_list* list, int index);
// Count; -1 for a missing list.
[[nodiscard]] int string_list_size(const string_list* list);
// The contiguous array of text pointers (string_list_size entries); nullptr
// for a missing list. Valid until the next append.
[[nodiscard]] char* const* string_list_strings(const string_list* list);
// New text of all entries with `separator` between them (std::free it);
// nullptr for an empty list.
[[nodiscard]] char* string_list_join(const string_list* list, const char* separator);
// The same over a plain array of `count` texts.
[[nodiscard]] char* strings_join(const char* const* strings, int count, const char* separator);
// New list of the non-empty tokens of `text` between any of `delimiters`;
// nullptr when the text holds no token.
[[nodiscard]] string_list* string_list_split(const char* text, const char* delimiters);
// 1 when an entry equals `text` ignoring ASCII case, else 0.
[[nodiscard]] int string_list_contains_case(const string_list* list, const char* text);
// Sorts in place; `compare` returns <0, 0 or >0 like strcmp.
void string_list_sort(string_list* list, int (*compare)(const char* a, const char* b));
// New list of the non-empty lines of a text file, each cut at its last '#'
// and trimmed of white space; nullptr when the file cannot be opened.
[[nodiscard]] string_list* string_list_from_file(const char* path);
// Splits every line into tokens at `delimiters`; token k goes to list k of a
// new array of `columns` lists (free with string_list_array_free). nullptr
// when a line has fewer tokens than columns or anything fails.
[[nodiscard]] string_list** string_list_from_file_zip(const char* path, const char* delimiters,
                                                      int columns);
// Frees all entries; count 0.
void string_list_reset(string_list* list);
// Writes the list to standard output under a heading.
void string_list_print(const char* heading, const string_list* list);
void string_list_free(string_list* list);
using StringListPtr = Owned<string_list, string_list_free>;
void string_list_array_free(string_list** lists, int count);

// ---------------------------------------------------------------------------
// dict: names of 1..32 characters (exact, case-sensitive) to owned values;
// linear search in insertion order.

inline constexpr int DICT_NAME_MAX = 32;

struct dict_item {
  char name[DICT_NAME_MAX + 1];
  std::uint64_t length;
  char* value;  // zero-terminated copy of `length` bytes
};

struct dict {
  std::int32_t _size = 0;
  ext_buf* _buf = nullptr;  // array of dict_item
};

[[nodiscard]] dict* dict_create();
// Stores a copy of `length` bytes under `name`; an existing name keeps its
// place and gets the new value.
[[nodiscard]] int dict_put(dict* d, const char* name, const void* value, std::uint64_t length);
// The stored value (zero-terminated) and its length; nullptr (logged) when
// the name is missing. `out_length` may be nullptr.
[[nodiscard]] const char* dict_get(const dict* d, const char* name, std::uint64_t* out_length);
// 1 when the name is present, without logging.
[[nodiscard]] int dict_has(const dict* d, const char* name);
// Value, length and entry at an index; nullptr (logged) outside 0..size-1.
// The entry pointer is valid until the next dict_put of a new name.
[[nodiscard]] const char* dict_get_item(const dict* d, int index, std::uint64_t* out_length,
                                        const dict_item** out_item);
// Count; 0 for a missing dictionary.
[[nodiscard]] int dict_size(const dict* d);
void dict_free(dict* d);
using DictPtr = Owned<dict, dict_free>;

// ---------------------------------------------------------------------------
// obj_list: owned blobs, also used as a stack. A pop only lowers the depth;
// a later push at that depth overwrites the old blob, so the count is the
// stack's high-water mark.

struct obj_list_item {
  std::uint64_t length;
  std::uint8_t* data;  // zero-terminated copy of `length` bytes
};

struct obj_list {
  std::int32_t _size = 0;
  std::int32_t _stack_depth = 0;
  ext_buf* _buf = nullptr;  // array of obj_list_item
};

// Comparison for obj_list_sort: receives two elements (read them with
// obj_decode) and returns <0, 0 or >0.
using obj_list_compare = int (*)(const void* a, const void* b);

[[nodiscard]] obj_list* obj_list_create();
// Appends a copy of `length` bytes.
[[nodiscard]] int obj_list_append(obj_list* list, const void* bytes, std::uint64_t length);
// Replaces the blob at an existing index by a copy.
[[nodiscard]] int obj_list_put(obj_list* list, int index, const void* bytes, std::uint64_t length);
// The blob at `index` and its length; nullptr (logged) for a missing list or
// an index outside 0..size-1. `out_length` may be nullptr.
[[nodiscard]] const std::uint8_t* obj_list_get(const obj_list* list, int index,
                                               std::uint64_t* out_length);
// Frees the blob and closes the gap.
[[nodiscard]] int obj_list_del(obj_list* list, int index);
// Frees the blobs past `count` and shrinks to it; growing is refused.
[[nodiscard]] int obj_list_resize(obj_list* list, int count);
[[nodiscard]] int obj_list_reset(obj_list* list);
// Count; -1 (logged) for a missing list.
[[nodiscard]] int obj_list_size(const obj_list* list);
// New list of copies of elements start..end-1; a negative start and an end of
// 0 or less count from the end (so end 0 means the end). nullptr when the
// adjusted range is not within the list.
[[nodiscard]] obj_list* obj_list_slice(const obj_list* list, int start, int end);
void obj_list_sort(obj_list* list, obj_list_compare compare);
// The data and length of an element as passed to an obj_list_compare.
[[nodiscard]] const std::uint8_t* obj_decode(const void* element, std::uint64_t* out_length);
// Stack operations. Push overwrites the slot at the depth or appends.
[[nodiscard]] int obj_list_push(obj_list* list, const void* bytes, std::uint64_t length);
// The blob at depth-1; nullptr (logged) for an empty stack.
[[nodiscard]] const std::uint8_t* obj_list_top(const obj_list* list, std::uint64_t* out_length);
// As obj_list_top, then the depth falls by one (never below 0).
[[nodiscard]] const std::uint8_t* obj_list_pop(obj_list* list, std::uint64_t* out_length);
[[nodiscard]] int obj_list_depth(const obj_list* list);
// 32-bit checksum over all blobs that also depends on how the bytes are split
// into elements; 0 for a missing list.
[[nodiscard]] std::uint32_t obj_list_signature(const obj_list* list);
void obj_list_free(obj_list* list);
using ObjListPtr = Owned<obj_list, obj_list_free>;

// ---------------------------------------------------------------------------
// int_list, offset_list, name_data_list.

struct int_list {
  std::uint64_t _size = 0;
  ext_buf* _buf = nullptr;  // array of int32_t
};

struct offset_list {
  std::uint64_t _size = 0;
  ext_buf* _buf = nullptr;  // array of uint64_t
};

struct name_data_item {
  std::uint64_t length;
  std::uint8_t* data;
  char* name;
};

struct name_data_list {
  std::uint64_t _size = 0;
  ext_buf* _buf = nullptr;  // array of name_data_item
};

// What offset_list_get gives for a missing list or an index out of range.
inline constexpr std::uint64_t OFFSET_LIST_INVALID = UINT64_MAX;

[[nodiscard]] int_list* int_list_create();
// Appends one value; 0 (logged) for a missing list.
[[nodiscard]] int int_list_append(int_list* list, std::int32_t value);
// The value; -1 (logged) for a missing list or an index not below the count.
[[nodiscard]] std::int32_t int_list_get(const int_list* list, std::uint64_t index);
// Overwrites an existing value.
[[nodiscard]] int int_list_put(int_list* list, std::uint64_t index, std::int32_t value);
// Count; -1 for a missing list.
[[nodiscard]] std::int64_t int_list_size(const int_list* list);
// DEBUG entries: heading, rows of twenty values, size.
void int_list_debug_print(const char* heading, const int_list* list);
void int_list_free(int_list* list);
using IntListPtr = Owned<int_list, int_list_free>;

[[nodiscard]] offset_list* offset_list_create();
// Appends one offset; 0 (logged) for a missing list.
[[nodiscard]] int offset_list_append(offset_list* list, std::uint64_t value);
// The offset; OFFSET_LIST_INVALID (logged) for an index not below the count.
[[nodiscard]] std::uint64_t offset_list_get(const offset_list* list, std::uint64_t index);
// Count; 0 for a missing list.
[[nodiscard]] std::uint64_t offset_list_size(const offset_list* list);
// DEBUG entries: heading with the count, one line per value.
void offset_list_debug_print(const char* heading, const offset_list* list);
void offset_list_free(offset_list* list);
using OffsetListPtr = Owned<offset_list, offset_list_free>;

[[nodiscard]] name_data_list* name_data_list_create();
// Appends copies of `name` and of the used bytes of `data`.
[[nodiscard]] int name_data_list_append(name_data_list* list, const char* name,
                                        const ext_buf* data);
// New ext_buf with a copy of the data of the first entry named exactly
// `name` (free with ext_buf_free); nullptr when there is none.
[[nodiscard]] ext_buf* name_data_list_get(const name_data_list* list, const char* name);
void name_data_list_free(name_data_list* list);
using NameDataListPtr = Owned<name_data_list, name_data_list_free>;
