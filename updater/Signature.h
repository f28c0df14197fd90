// Ed25519 signatures of server manifests (libsodium).
//
// Files, each a line of standard base64 (with padding) ending "\n":
//   vmupdate.key   the publisher's secret key (64 bytes: seed and public key), mode 0600
//   vmupdate.pub   public keys, 32 bytes each, one a line; blank lines and lines starting
//                  with "#" are skipped, so a publisher can note which key is which. Any
//                  other line that is not a key makes the whole file unreadable: a typo
//                  must not quietly drop the key that signs the next release.
//   <manifest>.sig the detached signature (64 bytes) of the manifest file's exact bytes
// A line may end "\r\n" as well.
//
// Every function may be called from any thread; none throws.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace updater {

inline constexpr const char* kSecretKeyFileName = "vmupdate.key";
inline constexpr const char* kPublicKeyFileName = "vmupdate.pub";
inline constexpr const char* kSignatureSuffix = ".sig";

using PublicKey = std::array<unsigned char, 32>;
using SecretKey = std::array<unsigned char, 64>;
using Signature = std::array<unsigned char, 64>;

// A file's text, or nothing when it cannot be read or exceeds `limit` bytes.
[[nodiscard]] std::optional<std::string> readSmallFile(const std::filesystem::path& path,
                                                       std::size_t limit = 1 << 20);

// The keys of a vmupdate.pub text; nothing (and `why` says what is wrong) when a line is
// not a key or no key is listed.
[[nodiscard]] std::optional<std::vector<PublicKey>> parsePublicKeys(std::string_view text, std::string* why = nullptr);

// The key of a vmupdate.key text: one line holding a key whose public half matches its
// seed, or nothing.
[[nodiscard]] std::optional<SecretKey> parseSecretKey(std::string_view text);

// The signature of a .sig text: exactly one line, or nothing.
[[nodiscard]] std::optional<Signature> parseSignature(std::string_view text);

// True when one of `keys` verifies `signature` over `message`.
[[nodiscard]] bool verifySignature(std::string_view message, const Signature& signature,
                                   const std::vector<PublicKey>& keys);

[[nodiscard]] Signature signMessage(std::string_view message, const SecretKey& key);

// Writes a new pair into `folder` (created when missing): vmupdate.key (0600) and
// vmupdate.pub. Refuses when either file exists already, so neither a secret key nor a
// list of rotated public keys is ever overwritten. False with `error` set on failure;
// nothing is left behind then.
[[nodiscard]] bool generateKeyPair(const std::filesystem::path& folder, std::string* error);

// Writes "<file>.sig" for the file's current bytes. False with `error` set on failure.
[[nodiscard]] bool signFile(const std::filesystem::path& file, const SecretKey& key, std::string* error);

} // namespace updater
