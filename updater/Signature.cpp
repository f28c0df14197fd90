#include "updater/Signature.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

namespace updater {
namespace {

namespace fs = std::filesystem;

bool ready()
{
    // Safe to call from several threads and more than once.
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}

std::string_view trimmed(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    return line;
}

// Decodes a whole base64 text that must hold exactly N bytes.
template <std::size_t N>
std::optional<std::array<unsigned char, N>> decode(std::string_view text)
{
    std::array<unsigned char, N> bytes{};
    std::size_t length = 0;
    const char* end = nullptr;
    if (text.empty() || sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                                          &end, sodium_base64_VARIANT_ORIGINAL) != 0)
        return std::nullopt;
    if (length != N || end != text.data() + text.size())
        return std::nullopt;
    return bytes;
}

template <std::size_t N>
std::string encodeLine(const std::array<unsigned char, N>& bytes)
{
    std::string text(sodium_base64_ENCODED_LEN(N, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text + "\n";
}

// The text of a file that must be exactly one line.
std::optional<std::string_view> singleLine(std::string_view text)
{
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    if (text.find_first_of("\r\n") != std::string_view::npos)
        return std::nullopt;
    return text;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Creates `path` (never replacing a file) with `mode` and writes `bytes`, synced.
bool createWith(const fs::path& path, std::string_view bytes, mode_t mode, std::string* error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        *error = "cannot create " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    // The umask may only take bits away; a secret key must not be readable by others
    // whatever it says, and fchmod makes the mode exact.
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int saved = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        *error = "cannot write " + path.string() + ": " + std::strerror(saved);
        ::unlink(path.c_str());
    }
    return ok;
}

} // namespace

std::optional<std::string> readSmallFile(const fs::path& path, std::size_t limit)
{
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (!file)
        return std::nullopt;
    std::string text;
    char buffer[1 << 16];
    bool ok = true;
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, got);
        if (text.size() > limit) {
            ok = false;
            break;
        }
    }
    ok = ok && !std::ferror(file);
    std::fclose(file);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<std::vector<PublicKey>> parsePublicKeys(std::string_view text, std::string* why)
{
    std::vector<PublicKey> keys;
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        std::optional<PublicKey> key = decode<std::tuple_size_v<PublicKey>>(line);
        if (!key) {
            if (why)
                *why = "line " + std::to_string(number) + " is not a public key";
            return std::nullopt;
        }
        keys.push_back(*key);
    }
    if (keys.empty()) {
        if (why)
            *why = "no public key is listed";
        return std::nullopt;
    }
    return keys;
}

std::optional<SecretKey> parseSecretKey(std::string_view text)
{
    const std::optional<std::string_view> line = singleLine(text);
    if (!line || !ready())
        return std::nullopt;
    std::optional<SecretKey> key = decode<std::tuple_size_v<SecretKey>>(*line);
    if (!key)
        return std::nullopt;
    // The public half is stored beside the seed; a key whose halves disagree would sign
    // with one key and claim another.
    unsigned char seed[crypto_sign_SEEDBYTES];
    crypto_sign_ed25519_sk_to_seed(seed, key->data());
    PublicKey derivedPublic{};
    SecretKey derived{};
    crypto_sign_seed_keypair(derivedPublic.data(), derived.data(), seed);
    sodium_memzero(seed, sizeof seed);
    const bool consistent = sodium_memcmp(derived.data(), key->data(), key->size()) == 0;
    sodium_memzero(derived.data(), derived.size());
    if (!consistent) {
        sodium_memzero(key->data(), key->size());
        return std::nullopt;
    }
    return key;
}

std::optional<Signature> parseSignature(std::string_view text)
{
    const std::optional<std::string_view> line = singleLine(text);
    if (!line)
        return std::nullopt;
    return decode<std::tuple_size_v<Signature>>(*line);
}

bool verifySignature(std::string_view message, const Signature& signature, const std::vector<PublicKey>& keys)
{
    if (!ready())
        return false;
    for (const PublicKey& key : keys) {
        if (crypto_sign_verify_detached(signature.data(), reinterpret_cast<const unsigned char*>(message.data()),
                                        message.size(), key.data()) == 0)
            return true;
    }
    return false;
}

Signature signMessage(std::string_view message, const SecretKey& key)
{
    Signature signature{};
    if (ready())
        crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const unsigned char*>(message.data()),
                             message.size(), key.data());
    return signature;
}

bool generateKeyPair(const fs::path& folder, std::string* error)
{
    if (!ready()) {
        *error = "libsodium cannot be initialised";
        return false;
    }
    const fs::path secretFile = folder / kSecretKeyFileName;
    const fs::path publicFile = folder / kPublicKeyFileName;
    std::error_code ec;
    for (const fs::path& file : {secretFile, publicFile}) {
        if (fs::exists(fs::symlink_status(file, ec))) {
            *error = file.string() + " exists already; it is left as it is";
            return false;
        }
    }
    fs::create_directories(folder, ec);
    if (ec) {
        *error = "cannot create " + folder.string() + ": " + ec.message();
        return false;
    }

    PublicKey publicKey{};
    SecretKey secretKey{};
    crypto_sign_keypair(publicKey.data(), secretKey.data());
    std::string secretText = encodeLine(secretKey);
    sodium_memzero(secretKey.data(), secretKey.size());
    const bool secretWritten = createWith(secretFile, secretText, 0600, error);
    sodium_memzero(secretText.data(), secretText.size());
    if (!secretWritten)
        return false;
    if (!createWith(publicFile, encodeLine(publicKey), 0644, error)) {
        ::unlink(secretFile.c_str());
        return false;
    }
    return true;
}

bool signFile(const fs::path& file, const SecretKey& key, std::string* error)
{
    const std::optional<std::string> bytes = readSmallFile(file, std::size_t{1} << 31);
    if (!bytes) {
        *error = "cannot read " + file.string();
        return false;
    }
    const fs::path signatureFile = file.string() + kSignatureSuffix;
    const fs::path temporary = signatureFile.string() + ".~tmp";
    ::unlink(temporary.c_str());
    if (!createWith(temporary, encodeLine(signMessage(*bytes, key)), 0644, error))
        return false;
    if (std::rename(temporary.c_str(), signatureFile.c_str()) != 0) {
        *error = "cannot write " + signatureFile.string() + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace updater
