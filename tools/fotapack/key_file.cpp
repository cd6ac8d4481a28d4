#include "key_file.h"

#include "file_io.h"

#include <sodium.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace fotapack {
namespace {

// Writes the text into a new file of mode 0600.
void write_private_file(const std::string& path, const std::string& text)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    bool closed = ::close(fd) == 0;
    if (!written || !closed) throw std::runtime_error("cannot write " + path);
}

template <typename Key>
Key read_key(const std::string& path, kvr_key_kind kind)
{
    std::vector<uint8_t> text = read_file(path);
    Key key;
    bool parsed = kvr_parse_key(kind, reinterpret_cast<const char*>(text.data()), text.size(), key.data());
    sodium_memzero(text.data(), text.size());
    if (!parsed)
        throw std::runtime_error(path + " is not a " + (kind == KVR_KEY_PUBLIC ? "public" : "secret") +
                                 " key file of fotapack keygen");
    return key;
}

} // namespace

void write_key_pair(const std::string& secret_path, const std::string& public_path)
{
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
    public_key pk;
    secret_key sk;
    crypto_sign_keypair(pk.data(), sk.data());
    std::string secret_text = kvr_format_key(KVR_KEY_SECRET, sk.data());
    sodium_memzero(sk.data(), sk.size());
    write_private_file(secret_path, secret_text);
    sodium_memzero(secret_text.data(), secret_text.size());
    std::string public_text = kvr_format_key(KVR_KEY_PUBLIC, pk.data());
    write_file(public_path, std::vector<uint8_t>(public_text.begin(), public_text.end()));
}

secret_key read_secret_key(const std::string& path)
{
    return read_key<secret_key>(path, KVR_KEY_SECRET);
}

public_key read_public_key(const std::string& path)
{
    return read_key<public_key>(path, KVR_KEY_PUBLIC);
}

} // namespace fotapack
