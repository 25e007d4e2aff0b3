// The MediaSize enumeration of PCL XL BeginPage attributes, as paper names.
#include "analysis/pcl6_internal.h"

namespace {

struct MediaName {
  int value;
  const char* name;
};

constexpr MediaName MEDIA_NAMES[] = {
    {0, "Letter"},   {106, "Letter"},    {1, "Legal"},        {107, "Legal"},
    {2, "A4"},       {108, "A4"},        {3, "Executive"},    {105, "Executive"},
    {4, "Ledger"},   {112, "Ledger"},    {5, "A3"},           {110, "A3"},
    {6, "ENVELOPE_10"},                  {9, "ENVELOPE_DL"},  {103, "ENVELOPE_DL"},
    {10, "B4"},      {111, "B4"},        {11, "B5"},          {109, "B5"},
    {14, "Hagaki Postcard"},             {15, "A5"},          {16, "A5"},
    {113, "A5"},     {17, "A6"},         {20, "A6"},          {114, "A6"},
    {18, "B6"},      {19, "8K"},         {50, "DL"},          {104, "C5"},
    {150, "Statement"},                  {202, "C6"},         {205, "12x18"},
};

}  // namespace

const char* pcl6_media_size_name(std::int64_t value) {
  for (const MediaName& m : MEDIA_NAMES) {
    if (m.value == value) return m.name;
  }
  return nullptr;
}
