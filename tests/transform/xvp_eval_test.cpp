// The expression evaluator over literal expressions: precedence and
// associativity, integer rules, comparisons, truth values, how results are
// printed, and the errors that end an evaluation.
#include "transform/xvp_eval.h"

#include <string>

#include "transform/xvp_scan.h"
#include "transform_test_support.h"

namespace {

using transform_test::TransformTest;

// The result's text, or "<failed>". Strings are literals here: their
// numbers are 0 (not searched).
std::string evaluated(const std::string& expression) {
  XvpScript statements;
  if (!xvp_scan_text(nullptr, expression, &statements) || statements.size() != 1) return "<scan>";
  const std::optional<xvp_token> value = xvp_evaluate_expression(nullptr, statements[0]);
  return value.has_value() ? value->text : "<failed>";
}

TEST_F(TransformTest, ExpressionValues) {
  struct Case {
    const char* expression;
    const char* value;
  };
  const Case cases[] = {
      {"1 + 2 * 3", "7"},
      {"(1 + 2) * 3", "9"},
      {"2 ^ 3 ^ 2", "512"},  // right-associative
      {"-2 + 3", "1"},
      {"-2 ^ 2", "-4"},
      {"0 ^ 0", "1"},
      {"(-2) ^ 2", "4"},
      {"2 ^ 0.5 * 2 ^ 0.5", "2"},  // within 1e-6 of an integer: printed as one
      {"7 % 2", "1"},
      {"-7 % 3", "-1"},
      {"1.0000001 % 1", "0"},
      {"1 + 0.5", "1.500000"},
      {"1 + 1", "2"},
      {"1 < 2", "1"},
      {"2 <= 1", "0"},
      {"1 == 1.0000005", "1"},
      {"0.5 == 0.5", "1"},
      {"3 != 3", "0"},
      {"2 XOR 1", "1"},  // the values differ
      {"1 XOR 1", "0"},
      {"NOT 0", "1"},
      {"NOT 1 AND 0", "1"},  // NOT covers the rest: NOT (1 AND 0)
      {"1 OR 0 AND 0", "0"},  // equal precedence, left to right
      {"\"a\" < \"B\"", "1"},  // caseless first
      {"\"abc\" == \"ABC\"", "0"},  // then the bytes
      {"\"abc\" == \"abc\"", "1"},
      {"\"x\" AND 1", "0"},  // a string's number is its found flag (0 unsearched)
      {"\"x\"", "x"},
      {"((((((((((1))))))))))", "1"},  // ten nested parentheses
  };
  for (const Case& c : cases) {
    EXPECT_EQ(evaluated(c.expression), c.value) << c.expression;
  }
}

TEST_F(TransformTest, ExpressionErrors) {
  struct Case {
    const char* expression;
    const char* message;
  };
  const Case cases[] = {
      {"7.5 % 2", "Value to left of % is not an integer"},
      {"7 % 2.5", "Value to right of % is not an integer"},
      {"1e17 % 2", "Value to left of % is not an integer"},  // beyond exact integers
      {"5 % 0", "Divide by zero (mod)"},
      {"1e308 * 1e308", "Inf"},
      {"1e999", "Inf"},
      {"(-8) ^ 0.5", "NaN"},
      {"1 == \"a\"", "Incompatible types : NUMBER = STRING"},
      {"(1 < 2) >= 1", "Incompatible types : T_BOOL >= NUMBER"},
      {"1 +", "Invalid statement"},
      {"1 NOT 2", "Operator 'NOT' cannot follow an operand"},
      {"(1 + 2", "Missing ')'"},
      {"1 2", "Incomplete statment"},
      {"NOT (1 < 2) + 1", "Value to left of + is not a number"},
      {"- \"a\"", "Value to right of - is not a number"},
      {"1 AND (1 + )", "Invalid statement"},
      {"((((((((((((1))))))))))))", "Stack overflow"},  // twelve
      {"1 = 2", "Cannot evaluate token '='"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(evaluated(c.expression), "<failed>");
    EXPECT_TRUE(logged(c.message)) << c.message;
  }
}

TEST_F(TransformTest, TheFirstErrorEndsTheEvaluation) {
  // Both operands are wrong; only the first error is reported, and nothing
  // is computed from the failed operand.
  EXPECT_EQ(evaluated("(5 % 0) + (1e308 * 1e308)"), "<failed>");
  EXPECT_TRUE(logged("xvp_evaluate_expression failed: Divide by zero (mod)"));
  EXPECT_FALSE(logged("failed: Inf"));
}

TEST_F(TransformTest, OnlyLiteralsAndOperatorsAreEvaluated) {
  XvpStatement tokens = {construct_xvp_token(XVP_NAME, "x")};
  EXPECT_FALSE(xvp_evaluate_expression(nullptr, tokens).has_value());
  EXPECT_TRUE(logged("Token type not allowed <NAME:x> "));
  EXPECT_TRUE(is_supported_operator("xor"));
  EXPECT_FALSE(is_supported_operator("="));
}

}  // namespace
