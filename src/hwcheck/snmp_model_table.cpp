// The built-in printer-model table. Counter objects are written relative to
// the enterprises subtree 1.3.6.1.4.1.
#include "hwcheck/snmp_maker_checks.h"
#include "hwcheck/snmp_model.h"

namespace {

using Texts = std::vector<std::string>;

Texts objects(std::initializer_list<const char*> relative) {
  Texts texts;
  for (const char* r : relative) texts.push_back(std::string("1.3.6.1.4.1.") + r);
  return texts;
}

const Texts R7 = {"Ricoh", "Ricoh Aficio", "Gestetner", "Infotec", "Nashuatec", "Lanier", "NRG"};

// A row as most are: the device status used, loops unset, every other flag
// off, no delete on error, no maker checks.
HwcheckModelConfig row(std::int32_t enterprise, Texts makes, Texts models) {
  HwcheckModelConfig r;
  r.enterprise_id = enterprise;
  r.make_strings = std::move(makes);
  r.model_strings = std::move(models);
  r.error_byte_swap = 0;
  r.large_counter_doubled = 0;
  r.use_total_as_main_counter = 0;
  r.use_device_status = 1;
  r.exact_model_match = 0;
  r.do_custom_counter = 0;
  r.do_custom_error = 0;
  r.do_custom_job_exists = 0;
  r.delete_on_error = 0;
  return r;
}

HwcheckModelConfig counters(HwcheckModelConfig r, Texts color, Texts total, Texts large) {
  r.color_mibs = std::move(color);
  r.total_mibs = std::move(total);
  r.large_mibs = std::move(large);
  return r;
}

HwcheckModelConfig ricoh(Texts makes, Texts models, Texts color, Texts large) {
  HwcheckModelConfig r = counters(row(367, std::move(makes), std::move(models)), std::move(color),
                                  objects({"367.3.2.1.2.19.2.0"}), std::move(large));
  r.custom_counter = custom_ricoh_counter_func;
  r.do_custom_counter = 1;
  return r;
}

HwcheckModelConfig toshiba(Texts models) {
  HwcheckModelConfig r = counters(
      row(1129, {"Toshiba"}, std::move(models)),
      objects({"1129.2.3.50.1.3.21.6.1.3.1.1", "1129.2.3.50.1.3.21.6.1.3.1.2"}),
      objects({"1129.2.3.50.1.3.21.6.1.3.1.4"}), objects({"1129.2.3.50.1.3.21.6.1.209.1.4"}));
  r.custom_error = custom_toshiba_error_func;
  r.do_custom_error = 1;
  return r;
}

std::vector<HwcheckModelConfig> build_table() {
  std::vector<HwcheckModelConfig> t;
  t.push_back(counters(row(1602, {"Canon"}, {}),
                       objects({"1602.1.11.1.3.1.4.122", "1602.1.11.1.3.1.4.123"}),
                       objects({"1602.1.11.1.3.1.4.301"}),
                       objects({"1602.1.11.1.3.1.4.112", "1602.1.11.1.3.1.4.122"})));
  t.push_back(counters(row(1602, {"Canon"}, {"LBP9660C"}),
                       objects({"1602.1.11.2.1.1.3.4", "1602.1.11.2.1.1.3.5"}),
                       objects({"1602.1.11.2.1.1.3.1"}),
                       objects({"1602.1.11.2.1.1.3.2", "1602.1.11.2.1.1.3.4"})));
  HwcheckModelConfig samsung = row(236, {"Samsung"}, {});
  samsung.error_byte_swap = 1;
  t.push_back(samsung);
  HwcheckModelConfig clp620 = counters(row(236, {"Samsung"}, {"CLP-620"}),
                                       objects({"236.11.5.11.53.11.1.1.0"}),
                                       objects({"236.11.5.11.53.11.1.2.0"}), {});
  clp620.error_byte_swap = 1;
  t.push_back(clp620);
  HwcheckModelConfig konica = counters(
      row(18334, {"Konica Minolta"}, {}),
      objects({"18334.1.1.1.5.7.2.2.1.5.2.2", "18334.1.1.1.5.7.2.2.1.5.4.2"}),
      objects({"18334.1.1.1.5.7.2.2.1.5.2.2", "18334.1.1.1.5.7.2.2.1.5.1.2",
               "18334.1.1.1.5.7.2.2.1.5.3.2", "18334.1.1.1.5.7.2.2.1.5.4.2"}),
      objects({"18334.1.1.1.5.7.2.2.1.7.2.2", "18334.1.1.1.5.7.2.2.1.7.1.2",
               "18334.1.1.1.5.7.2.2.1.7.3.2", "18334.1.1.1.5.7.2.2.1.7.4.2"}));
  konica.custom_error = custom_konica_error_func;
  konica.do_custom_error = 1;
  konica.custom_job_exists = custom_konica_job_exists_func;
  konica.do_custom_job_exists = 1;
  t.push_back(konica);
  t.push_back(counters(row(253, {"FUJI XEROX", "XEROX", "NEC"}, {}),
                       objects({"253.8.53.13.2.1.6.1.20.29"}),
                       objects({"253.8.53.13.2.1.6.1.20.29", "253.8.53.13.2.1.6.1.20.7"}), {}));
  t.push_back(counters(row(253, {"FUJI XEROX"}, {"DocuPrint C3200"}),
                       objects({"253.8.53.13.2.1.6.1.20.29"}),
                       objects({"253.8.53.13.2.1.6.1.20.29", "253.8.53.13.2.1.6.1.20.1"}), {}));
  t.push_back(counters(row(11, {"HP"}, {}), objects({"11.2.3.9.4.2.1.4.1.2.7.0"}), {}, {}));
  t.push_back(counters(row(641, {"Lexmark"}, {}), objects({"641.6.4.2.1.1.4.1.11"}),
                       objects({"641.6.4.2.4.1.3.1.1"}), {}));
  t.push_back(counters(row(2385, {"Sharp"}, {}), objects({"2385.1.1.19.2.1.3.1.4.63"}),
                       objects({"2385.1.1.19.2.1.3.1.4.60"}), {}));
  t.push_back(ricoh({"Ricoh", "Gestetner", "Infotec", "Nashuatec", "Lanier", "NRG"}, {},
                    objects({"367.3.2.1.2.19.5.1.9.19"}), objects({"367.3.2.1.2.19.5.1.9.47"})));
  t.push_back(ricoh(R7, {"MPC2500", "MPC2000"}, objects({"367.3.2.1.2.19.5.1.9.19"}),
                    objects({"367.3.2.1.2.19.5.1.9.41"})));
  t.push_back(ricoh(R7,
                    {"MP C400", "MP C2051", "MP C305", "MP C300", "SP C430", "MP C3002",
                     "MP C3003", "MP C4502", "MP C4503", "MP C2551"},
                    objects({"367.3.2.1.2.19.5.1.9.19"}), objects({"367.3.2.1.2.19.5.1.9.46"})));
  t.push_back(ricoh(R7, {"IPSiO SP 6330"}, {}, objects({"367.3.2.1.2.19.5.1.9.5"})));
  t.push_back(ricoh(R7, {"IPSiO SP C420"},
                    objects({"367.3.2.1.2.19.5.1.9.24", "367.3.2.1.2.19.5.1.9.25",
                             "367.3.2.1.2.19.5.1.9.26"}),
                    {}));
  t.push_back(ricoh(R7, {"MP 2510"}, {}, objects({"367.3.2.1.2.19.5.1.9.9"})));
  t.push_back(ricoh(R7, {"SP C420"}, objects({"367.3.2.1.2.19.5.1.9.13"}), {}));
  t.push_back(ricoh(R7, {"SP C820"}, objects({"367.3.2.1.2.19.5.1.9.13"}),
                    objects({"367.3.2.1.2.19.5.1.9.38"})));
  HwcheckModelConfig taskalfa = counters(row(1347, {"TASKalfa", "CDC 1935_DCC 2935"}, {}),
                                         objects({"1347.42.3.1.2.1.1.1.3"}),
                                         objects({"1347.42.3.1.1.1.1.1"}),
                                         objects({"1347.42.2.1.1.1.6.1.1"}));
  taskalfa.large_counter_doubled = 1;
  t.push_back(taskalfa);
  t.push_back(counters(row(1347, {"ECOSYS"}, {}), objects({"1347.42.2.1.1.1.8.1.1"}),
                       objects({"1347.42.2.1.1.1.6.1.1"}), {}));
  HwcheckModelConfig fs4020 =
      counters(row(1347, {"FS-4020"}, {}), {}, objects({"1347.43.10.1.1.12.1.1"}), {});
  fs4020.large_counter_doubled = 1;
  t.push_back(fs4020);
  HwcheckModelConfig toshiba_any = toshiba({});
  toshiba_any.custom_job_exists = custom_toshiba_job_exists_func;
  toshiba_any.do_custom_job_exists = 0;
  t.push_back(toshiba_any);
  HwcheckModelConfig estudio =
      toshiba({"e-STUDIO255", "e-STUDIO305", "e-STUDIO355", "e-STUDIO455", "e-STUDIO555",
               "e-STUDIO655", "e-STUDIO755", "e-STUDIO855", "e-STUDIO2330C", "e-STUDIO2820C",
               "e-STUDIO2830C", "e-STUDIO3520C", "e-STUDIO3530C", "e-STUDIO4520C",
               "e-STUDIO5520C", "e-STUDIO6520C", "e-STUDIO6530C"});
  estudio.large_counter_doubled = 1;
  estudio.exact_model_match = 1;
  estudio.loops_before = 5;
  estudio.loops_after = 12;
  t.push_back(estudio);
  return t;
}

}  // namespace

const std::vector<HwcheckModelConfig>& snmp_builtin_model_table() {
  static const std::vector<HwcheckModelConfig> table = build_table();
  return table;
}
