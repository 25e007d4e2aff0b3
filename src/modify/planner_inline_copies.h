// Jobs whose driver repeated the whole job once per copy: later planners
// edit the first copy only, and the rewritten copy is written out as many
// times as copies are wanted.
#pragma once

#include <cstdint>

struct JobAttribs;
struct ReplacementList;
struct mapped_mem;
struct watermark_params;

// The length later planners see: the length of one copy when the mapped job
// is made of byte-identical copies (the list then covers one copy and writes
// it out the forced number of copies, or as many as there were), else the
// mapped length. The mapping itself is left as it is. 0 on failure.
[[nodiscard]] std::uint64_t plan_replacements_inline_copies(const watermark_params* request,
                                                            const JobAttribs* job,
                                                            const mapped_mem* mm,
                                                            ReplacementList* list);
