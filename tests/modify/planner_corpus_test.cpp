// Every PCL5 and PCL XL job of the corpus, asked for a watermark and
// grayscale: planned, and its rewrite read by our analyzers to the end
// with the same pages; a PCL XL rewrite read by the strict reader too.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "analysis/pcl5.h"
#include "analysis/pcl6.h"
#include "foundation/ja.h"
#include "foundation/watermark.h"
#include "modify/planner_pcl5.h"
#include "modify/planner_pcl6.h"
#include "modify/replacement_list.h"
#include "modify_test_support.h"
#include "support/pxl_strict_assert.h"

namespace {

using modify_test::ModifyTest;

using Planner = int (*)(const watermark_params*, const JobAttribs*, const std::uint8_t*,
                        std::uint64_t, ReplacementList*);
using Analyzer = int (*)(const std::uint8_t*, std::uint64_t, int, JobAttribs*);

int pages_of(Analyzer analyze, const std::uint8_t* data, std::uint64_t length) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  EXPECT_EQ(analyze(data, length, 0, ja.get()), 0);
  return ja->pages;
}

TEST_F(ModifyTest, PlannersKeepThePagesOfEveryCorpusJob) {
  watermark_params request{};
  std::strcpy(request.text, "CORPUS");
  request.font_size = 24;
  request.force_grayscale = 1;
  // No copies: a forced count turns a job of inline copies into one job
  // whose pages the analyzer counts whole.
  struct Language {
    int code;
    Planner plan;
    Analyzer analyze;
  } languages[] = {{4, plan_replacements_pcl6, pcl6_process_job},
                   {5, plan_replacements_pcl5, pcl5_process_job}};
  for (const Language& lang : languages) {
    for (const CorpusRow& row : corpus_rows_for_lang(lang.code)) {
      SCOPED_TRACE(row.file);
      const std::string input = sw_test::corpus_bytes(row.file);
      const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
      JobAttribsPtr job(analyzer_create_job_attribs());
      job->language = lang.code;
      ReplacementListPtr list(replacement_list_create(input.size(), -1, "PCL"));
      const int result = lang.plan(&request, job.get(), data, input.size(), list.get());
      if (row.file == "gs-paintjet-mixed-letter.pcl") {
        // PaintJet output has no reset or page set-up to follow: left alone.
        EXPECT_EQ(result, 0);
        EXPECT_EQ(replacement_list_size(list.get()), 0);
        continue;
      }
      ASSERT_EQ(result, 1);
      bstring out = replacement_list_flatten(data, input.size(), list.get());
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(pages_of(lang.analyze, reinterpret_cast<const std::uint8_t*>(out->data),
                         static_cast<std::uint64_t>(out->slen)),
                pages_of(lang.analyze, data, input.size()));
      // Packets of a Canon job are unwrapped before planning (and wrapped
      // again afterwards), so only plain PCL XL is read here.
      if (lang.code == 4 && row.file.rfind("cpca-", 0) != 0) {
        EXPECT_TRUE(sw_test::is_strict_pcl_xl(std::string_view(
            reinterpret_cast<const char*>(out->data), static_cast<std::size_t>(out->slen))));
      }
      bdestroy(out);
    }
  }
}

}  // namespace
