#include "sequence/state_coding.h"

#include "bailout/bailout.h"

int NucCharToInt(char c) {
  switch (c) {
    case 'A':
      return 0;
    case 'C':
      return 1;
    case 'G':
      return 2;
    case 'T':
    case 'U':
      return 3;
    case 'R':
      return 20;
    case 'Y':
      return 31;
    case 'S':
      return 21;
    case 'W':
      return 30;
    case 'K':
      return 32;
    case 'M':
      return 10;
    case 'B':
      return 321;
    case 'D':
      return 320;
    case 'H':
      return 310;
    case 'V':
      return 210;
    case 'N':
      return kAnyNucleotide;
    case '-':
      return kGapCode;
    case '?':
      return kMissingCode;
    default:
      return kAnyNucleotide;
  }
}

char NucIntToChar(int code) {
  switch (code) {
    case 0:
      return 'A';
    case 1:
      return 'C';
    case 2:
      return 'G';
    case 3:
      return 'U';
    case 10:
      return 'M';
    case 20:
      return 'R';
    case 21:
      return 'S';
    case 30:
      return 'W';
    case 31:
      return 'Y';
    case 32:
      return 'K';
    case 210:
      return 'V';
    case 310:
      return 'H';
    case 320:
      return 'D';
    case 321:
      return 'B';
    case kGapCode:
      return '-';
    case kMissingCode:
      return '?';
    default:
      return 'N';
  }
}

int IsCanonicalDoublet(int a, int b) {
  // Codes are small non-negative ints; widen so that no input can overflow.
  const long long sum = static_cast<long long>(a) + b;
  return sum == 3 || sum == 5 ? 1 : 0;
}

int IsDoubletChangeCanonicalChange(int doublet) {
  switch (doublet) {
    case 3:
    case 6:
    case 9:
    case 11:
    case 12:
    case 14:
      return 1;
    default:
      return 0;
  }
}

int CompareChar(char c) { return c >= '0' && c <= '9' ? 1 : 0; }

int WhatChar(char c) {
  if (c == '(' || c == ')' || c == ',' || c == ':') return 1;
  if (c == ' ') return 2;
  return 0;
}
