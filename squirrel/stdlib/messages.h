// squirrel/stdlib/messages.h: every text the standard library raises.
// Scripts compare and print these, so they stay byte for byte as the games'
// library has them, spelling included.
#pragma once

namespace sqstd {

inline constexpr char kTableExpected[] = "table expected";
inline constexpr char kStreamInvalid[] = "the stream is invalid";
inline constexpr char kInvalidFormat[] = "invalid format";
inline constexpr char kIoError[] = "io error";
inline constexpr char kNoDataLeft[] = "no data left to read";
inline constexpr char kInvalidParameter[] = "invalid parameter";
inline constexpr char kInvalidOrigin[] = "invalid origin";
inline constexpr char kResizeFailed[] = "resize failed";
inline constexpr char kIndexOutOfRange[] = "index out of range";
inline constexpr char kNegativeBlobSize[] = "cannot create blob with negative size";
inline constexpr char kNextiWrongType[] = "internal error (_nexti) wrong argument type";
inline constexpr char kBlobLibraryMissing[] = "the blob library is not registered";
inline constexpr char kCannotOpenFile[] = "cannot open file";
inline constexpr char kWrongParameter[] = "wrong parameter";
inline constexpr char kIoLibraryMissing[] = "the io library is not registered";
inline constexpr char kNotAFile[] = "not a file";
inline constexpr char kCannotOpenTheFile[] = "cannot open the file";
inline constexpr char kUnknownEncoding[] = "Unrecognozed ecoding";
inline constexpr char kInvalidParam[] = "invalid param";
inline constexpr char kEmptySeparators[] = "empty separators string";
inline constexpr char kRegexpInvalid[] = "the regexp is invalid";
inline constexpr char kNotEnoughParams[] = "not enough paramters for the given format string";
inline constexpr char kWidthTooLong[] = "width format too long";
inline constexpr char kPrecisionTooLong[] = "precision format too long";
inline constexpr char kFormatTooLong[] = "format too long";
inline constexpr char kStringExpected[] = "string expected for the specified format";
inline constexpr char kIntegerExpected[] = "integer expected for the specified format";
inline constexpr char kFloatExpected[] = "float expected for the specified format";
inline constexpr char kExpectedParen[] = "expected paren";
inline constexpr char kLetterExpected[] = "letter expected";
inline constexpr char kEmptyClass[] = "empty class";
inline constexpr char kClassInRange[] = "cannot use character classes in ranges";
inline constexpr char kNumberExpected[] = "number expected";
inline constexpr char kCommaOrBraceExpected[] = ", or } expected";
inline constexpr char kNumberOverflow[] = "overflow in numeric constant";
inline constexpr char kUnexpectedCharacter[] = "unexpected character";
inline constexpr char kPatternTooComplex[] = "pattern too complex";

}  // namespace sqstd
