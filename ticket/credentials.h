// SPDX-License-Identifier: Apache-2.0
// Credential protection: AES-128 over independent 16-byte blocks with the
// program's fixed key or with a per-job key taken from the spool-time text,
// Base64 text of cipher bytes and back, and the MD5 digest of pass codes.
//
// Block handling, common to the three cipher functions: the data is cut into
// 16-byte blocks, each enciphered on its own (no initialisation vector, no
// chaining); a final partial block is completed with zero bytes. A cipher is
// therefore as long as its data rounded up to a multiple of 16 (0 for no
// data). Only the data's own bytes are read from the caller.
//
// Output buffers belong to the caller. The cipher functions take the size of
// their output and never write past it; when the blocks do not all fit, only
// the whole blocks that fit are written.
#pragma once

#include <cstddef>
#include <cstdint>

/// Bytes of one AES block.
inline constexpr std::size_t kAesBlockSize = 16;

/// Length of the cipher of `length` data bytes: `length` rounded up to a
/// multiple of 16.
constexpr std::size_t aesCipherLength(std::size_t length) {
  return (length + kAesBlockSize - 1) / kAesBlockSize * kAesBlockSize;
}

/// Enciphers the zero-terminated `plainText` (its strlen bytes) with the
/// fixed key. First zeroes all `outputSize` bytes of `output`, then writes
/// aesCipherLength(strlen) cipher bytes; the output is not terminated. An
/// empty text leaves the output all zero, which tells callers there is no
/// cipher. Does nothing when a pointer is null.
void my_aes_encrypt(const char* plainText, std::uint8_t* output, std::size_t outputSize);

/// As my_aes_encrypt, with the key taken from the last 16 characters of the
/// zero-terminated `keyText` (the spool-time text). Does nothing when a
/// pointer is null; a key text shorter than 16 characters leaves the output
/// all zero.
void my_aes_encrypt2(const char* plainText, const char* keyText, std::uint8_t* output,
                     std::size_t outputSize);

/// Deciphers `length` bytes of `cipher` with the fixed key into `output`.
/// Sets output[0] to zero, then writes exactly aesCipherLength(length)
/// bytes (a partial last block of cipher is read as if completed with
/// zeros), limited to the whole blocks that fit in `outputSize`; nothing is
/// written beyond that, in particular no terminator. The plain text comes
/// out with its zero fill: pass a zero-filled buffer of at least
/// aesCipherLength(length) + 1 bytes and the text is always terminated.
/// Does nothing when a pointer is null or `outputSize` is 0.
void my_aes_decrypt(const std::uint8_t* cipher, std::size_t length, std::uint8_t* output,
                    std::size_t outputSize);

/// Buffer size Base64encode needs for `length` bytes, terminator included:
/// (length + 2) / 3 * 4 + 1. A negative length counts as 0.
std::int32_t Base64encode_len(std::int32_t length);

/// Writes standard Base64 text ("=" fill) of `length` bytes of `data` and a
/// terminating zero into `output` (Base64encode_len(length) bytes). Returns
/// the characters written, terminator included. A negative length counts as
/// 0. Returns 0 and writes nothing when `output` is null, or `data` is null
/// with a positive length.
std::int32_t Base64encode(char* output, const std::uint8_t* data, std::int32_t length);

/// Buffer size Base64decode needs for `text`, terminator included:
/// (n + 3) / 4 * 3 + 1, where n counts the characters from the start of the
/// text that belong to the Base64 alphabet. A null text counts as empty.
std::int32_t Base64decode_len(const char* text);

/// Decodes the Base64 text up to its first character outside the alphabet
/// ("=", a line break, the terminator, anything else) into `output`,
/// followed by a terminating zero. Groups of 4 characters give 3 bytes, a
/// final 2 or 3 characters give 1 or 2 bytes, a final single character
/// gives nothing. Writes at most `outputSize` bytes including the
/// terminator; bytes beyond are dropped. Returns the number of bytes
/// written, terminator not included. Returns 0 and writes nothing when a
/// pointer is null or `outputSize` is 0.
std::int32_t Base64decode(std::uint8_t* output, const char* text, std::size_t outputSize);

/// Writes the MD5 digest of the zero-terminated `text` into `output` as 32
/// lower-case hexadecimal digits and a terminator (33 bytes). Does nothing
/// when a pointer is null; writes an empty text when the digest cannot be
/// computed.
void calcMD5(char* output, const char* text);
