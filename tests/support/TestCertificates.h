// A certificate authority made at test time with the openssl program, and the server
// certificates the secure-transport tests need: one the authority signs for the loopback
// addresses, one it signs for another host name, one it signs that has expired, and one
// that signs itself. A test trusts the authority the way a member's machine would be
// told to: SSL_CERT_FILE names its certificate (trustAuthority), set before any thread
// starts.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

struct ServerCertificate {
    std::string cert; // PEM certificate
    std::string key;  // PEM private key
};

class TestCertificates {
public:
    // Makes everything in folder (which must exist); ok() tells whether openssl managed.
    explicit TestCertificates(const std::filesystem::path& folder) : m_folder(folder)
    {
        const std::string loopback = "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost";
        m_ok = run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                   " -keyout ca.key -out ca.crt -days 3650 -subj '/CN=Kavrel Test Authority'"
                   " -addext 'basicConstraints=critical,CA:TRUE' -addext 'keyUsage=critical,keyCertSign,cRLSign'")
               && signByAuthority("good", "/CN=127.0.0.1", loopback, 30)
               && signByAuthority("wronghost", "/CN=other.example", "subjectAltName=DNS:other.example", 30)
               && signByAuthority("expired", "/CN=127.0.0.1", loopback, -1)
               && run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                      " -keyout selfsigned.key -out selfsigned.crt -days 30 -subj '/CN=127.0.0.1'"
                      " -addext '" + loopback + "'");
    }

    // The ones an earlier TestCertificates made in folder (for a child process); ok() tells
    // whether they are there.
    struct AlreadyMade {};
    TestCertificates(const std::filesystem::path& folder, AlreadyMade) : m_folder(folder)
    {
        m_ok = std::filesystem::exists(folder / "ca.crt") && std::filesystem::exists(folder / "selfsigned.key");
    }

    bool ok() const { return m_ok; }
    std::string authorityFile() const { return (m_folder / "ca.crt").string(); }
    ServerCertificate good() const { return pair("good"); }
    ServerCertificate wrongHost() const { return pair("wronghost"); }
    ServerCertificate expired() const { return pair("expired"); }
    ServerCertificate selfSigned() const { return pair("selfsigned"); }

    // Makes the authority the one store this process trusts.
    void trustAuthority() const { setenv("SSL_CERT_FILE", authorityFile().c_str(), 1); }

private:
    bool run(const std::string& command) const
    {
        const std::string line = "cd '" + m_folder.string() + "' && " + command + " >>openssl.log 2>&1";
        return std::system(line.c_str()) == 0;
    }

    // A key and a certificate for subject, signed by the authority, valid for days from
    // now (-1: it ended yesterday).
    bool signByAuthority(const std::string& name, const std::string& subject, const std::string& extension, int days) const
    {
        std::ofstream(m_folder / (name + ".ext")) << extension << "\n";
        return run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + name
                      + ".key -out " + name + ".csr -subj '" + subject + "'")
               && run("openssl x509 -req -in " + name + ".csr -CA ca.crt -CAkey ca.key -CAcreateserial -out " + name
                      + ".crt -days " + std::to_string(days) + " -extfile " + name + ".ext");
    }

    ServerCertificate pair(const std::string& name) const
    {
        return {(m_folder / (name + ".crt")).string(), (m_folder / (name + ".key")).string()};
    }

    std::filesystem::path m_folder;
    bool m_ok = false;
};

} // namespace testsupport
