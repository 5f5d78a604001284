#pragma once
// Certificates for the mqtts:// tests, made with the openssl command in a
// private folder: a CA; a broker certificate for 127.0.0.1 and localhost;
// one that expired in 2020; one made out for another host; a second CA the
// broker does not know, with a client certificate signed by it; and a
// client certificate of the first CA. Each broker certificate comes with
// its key (NAME.crt, NAME.key).
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "mosquitto_broker.h"

namespace orlix::test {

class TlsCertificates {
public:
    TlsCertificates() {
        static int n = 0;
        dir_ = std::filesystem::temp_directory_path() /
               ("orlix_certs_" + std::to_string(::getpid()) + "_" + std::to_string(++n));
        std::filesystem::create_directories(dir_);
        ok_ = makeCa("ca", "orlix-test-ca") && makeCa("other-ca", "someone-else") &&
              sign("server", "ca", "127.0.0.1", "IP:127.0.0.1,DNS:localhost", {}) &&
              sign("expired", "ca", "127.0.0.1", "IP:127.0.0.1,DNS:localhost", "-startdate 20200101000000Z -enddate 20200102000000Z") &&
              sign("elsewhere", "ca", "broker.example", "DNS:broker.example", {}) &&
              sign("client", "ca", "site-north", "DNS:site-north", {}) &&
              sign("stranger", "other-ca", "site-south", "DNS:site-south", {});
    }
    ~TlsCertificates() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TlsCertificates(const TlsCertificates&) = delete;
    TlsCertificates& operator=(const TlsCertificates&) = delete;

    bool ok() const { return ok_; }
    std::string path(const std::string& file) const { return (dir_ / file).string(); }

    // The listener lines of a broker that shows certificate `name` (and,
    // with `requireClient`, wants a client certificate of the first CA).
    std::string listener(const std::string& name, bool requireClient = false) const {
        return "cafile " + path("ca.crt") + "\ncertfile " + path(name + ".crt") + "\nkeyfile " +
               path(name + ".key") + "\n" + (requireClient ? "require_certificate true\n" : "");
    }

private:
    bool run(const std::string& cmd) const {
        return std::system(("cd " + dir_.string() + " && " + cmd + " >>openssl.log 2>&1").c_str()) == 0;
    }
    bool makeCa(const std::string& name, const std::string& cn) const {
        std::ofstream(dir_ / (name + ".cnf"))
            << "[ca]\ndefault_ca = this\n[this]\ndatabase = " << name << ".index\nnew_certs_dir = .\nserial = "
            << name << ".serial\ndefault_md = sha256\npolicy = any\ncopy_extensions = none\nunique_subject = no\n"
            << "[any]\ncommonName = supplied\n";
        std::ofstream(dir_ / (name + ".index")).close();
        std::ofstream(dir_ / (name + ".serial")) << "1000\n";
        return run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + name + ".key -out " + name +
                   ".crt -days 3 -subj /CN=" + cn);
    }
    // A certificate for `cn` with alternative names `san`, signed by `ca`;
    // `dates` overrides its validity (openssl ca's -startdate/-enddate).
    bool sign(const std::string& name, const std::string& ca, const std::string& cn, const std::string& san,
              const std::string& dates) const {
        std::ofstream(dir_ / (name + ".ext")) << "subjectAltName=" << san << "\n";
        return run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + name + ".key -out " + name + ".csr -subj /CN=" +
                   cn) &&
               run("openssl ca -batch -notext -config " + ca + ".cnf -cert " + ca + ".crt -keyfile " + ca +
                   ".key -in " + name + ".csr -out " + name + ".crt -extfile " + name + ".ext " +
                   (dates.empty() ? std::string("-days 3") : dates));
    }

    std::filesystem::path dir_;
    bool ok_ = false;
};

}  // namespace orlix::test
