// The optional last stage of an update run: wages of the table entries of the
// patch's norms recomputed through SR_RAZRAD2ZARPL, and the consumption of
// other materials ("00-00") set to 2 % of the entry's wage. Every failure is
// caught per norm or per line, reported, and the stage goes on.
#pragma once

#include "workbench/UpdateForm.h"

#include <cstdint>

void RecalculateOthers(UpdateForm& form);

// Rounds through the value's "%f" text: digits after the `decimals`-th are
// cut, and 10^-decimals is added when the first cut digit is 5 to 9 (1.005 ->
// 1.01, 2.344 -> 2.34). Digits past the sixth decimal play no part.
double RoundByText(double value, int decimals);

// value x 10000 to the nearest integer, halves to even, as a count of
// ten-thousandths.
int64_t ToCurrency(double value);
