#include "mqtt/tls_failure.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace orlix {
namespace {

// "2026-01-31 12:00 UTC"
std::string timeText(const ASN1_TIME* t) {
    std::tm tm{};
    if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1) return {};
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M UTC", &tm);
    return buf;
}

// The subject's common name and the alternative names (DNS and IP), as
// "CN=broker.example, DNS:broker.example, IP:10.0.0.2".
std::string certificateNames(X509* cert) {
    std::string names;
    char cn[256] = {};
    if (X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, cn, sizeof cn) > 0)
        names = std::string("CN=") + cn;
    auto* alt = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; alt != nullptr && i < sk_GENERAL_NAME_num(alt); ++i) {
        const GENERAL_NAME* n = sk_GENERAL_NAME_value(alt, i);
        std::string one;
        if (n->type == GEN_DNS) {
            one = "DNS:" + std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(n->d.dNSName)),
                                       static_cast<std::size_t>(ASN1_STRING_length(n->d.dNSName)));
        } else if (n->type == GEN_IPADD && ASN1_STRING_length(n->d.iPAddress) == 4) {
            const unsigned char* a = ASN1_STRING_get0_data(n->d.iPAddress);
            one = "IP:" + std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
                  std::to_string(a[3]);
        }
        if (!one.empty()) names += (names.empty() ? "" : ", ") + one;
    }
    GENERAL_NAMES_free(alt);
    return names;
}

// The first "error:XXXXXXXX:" code of an OpenSSL error line.
std::uint32_t errorCodeOf(const char* line) {
    const char* p = std::strstr(line, "error:");
    if (p == nullptr) return 0;
    char* end = nullptr;
    const unsigned long code = std::strtoul(p + 6, &end, 16);
    return end != p + 6 && *end == ':' ? static_cast<std::uint32_t>(code) : 0;
}

// An alert from the broker about the certificate we sent (or did not send).
bool isClientCertificateAlert(std::uint32_t code) {
    if (code == 0 || ERR_GET_LIB(code) != ERR_LIB_SSL) return false;
    switch (ERR_GET_REASON(code)) {
        case SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED:
        case SSL_R_SSLV3_ALERT_BAD_CERTIFICATE:
        case SSL_R_SSLV3_ALERT_UNSUPPORTED_CERTIFICATE:
        case SSL_R_SSLV3_ALERT_CERTIFICATE_REVOKED:
        case SSL_R_SSLV3_ALERT_CERTIFICATE_EXPIRED:
        case SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN:
        case SSL_R_TLSV1_ALERT_UNKNOWN_CA:
        case SSL_R_TLSV1_ALERT_ACCESS_DENIED:
        case SSL_R_TLSV1_ALERT_DECRYPT_ERROR:
            return true;
        default:
            return false;
    }
}

bool isUnknownCa(long v) {
    return v == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY || v == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT ||
           v == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT || v == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN ||
           v == X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE || v == X509_V_ERR_CERT_SIGNATURE_FAILURE;
}

// The reason of the library's OpenSSL line, without the codes before it:
// "certificate verify failed".
std::string reasonOf(const std::string& line) {
    const std::size_t colons = line.rfind("::");
    if (colons != std::string::npos) return line.substr(colons + 2);
    const std::size_t colon = line.rfind(':');
    return colon == std::string::npos ? line : line.substr(colon + 1);
}

}  // namespace

void noteLibraryError(TlsFailureNotes& notes, const char* line, void* sslObject) {
    if (line == nullptr) return;
    notes.libraryLine = line;
    if (std::strstr(line, "host name verification failed") != nullptr) {
        notes.hostCheckFailed = true;
        notes.sawTlsError = true;
    }
    if (std::strstr(line, "OpenSSL Error") != nullptr) {
        notes.sawTlsError = true;
        if (notes.sslLine.empty()) {
            notes.sslLine = line;
            notes.sslError = errorCodeOf(line);
        }
    }
    auto* ssl = static_cast<SSL*>(sslObject);
    if (ssl == nullptr || !notes.certificateNames.empty()) return;
    // The handshake is still there while the library reports its failure.
    notes.verifyResult = SSL_get_verify_result(ssl);
    STACK_OF(X509)* chain = SSL_get_peer_cert_chain(ssl);
    if (chain == nullptr || sk_X509_num(chain) == 0) return;
    X509* leaf = sk_X509_value(chain, 0);
    notes.certificateNames = certificateNames(leaf);
    notes.notAfter = timeText(X509_get0_notAfter(leaf));
    notes.notBefore = timeText(X509_get0_notBefore(leaf));
}

TlsFailureKind classifyTlsFailure(const TlsFailureNotes& notes) {
    if (!notes.sawTlsError && notes.verifyResult == X509_V_OK) return TlsFailureKind::None;
    const long v = notes.verifyResult;
    if (v == X509_V_ERR_CERT_HAS_EXPIRED || v == X509_V_ERR_CERT_NOT_YET_VALID) return TlsFailureKind::Expired;
    if (isUnknownCa(v)) return TlsFailureKind::UnknownCa;
    if (notes.hostCheckFailed || v == X509_V_ERR_HOSTNAME_MISMATCH || v == X509_V_ERR_IP_ADDRESS_MISMATCH)
        return TlsFailureKind::HostMismatch;
    if (isClientCertificateAlert(notes.sslError)) return TlsFailureKind::ClientCertRefused;
    return TlsFailureKind::Other;
}

std::string tlsFailureText(const TlsFailureNotes& notes, const TlsContext& c) {
    const std::string cas = c.caFile.empty() ? std::string("the system's CA certificates (/etc/ssl/certs)") : c.caFile;
    const std::string names = notes.certificateNames.empty() ? std::string() : " (" + notes.certificateNames + ")";
    switch (classifyTlsFailure(notes)) {
        case TlsFailureKind::None:
            return {};
        case TlsFailureKind::UnknownCa:
            return "TLS: the certificate of " + c.host + names + " is not signed by a CA in " + cas;
        case TlsFailureKind::Expired:
            if (notes.verifyResult == X509_V_ERR_CERT_NOT_YET_VALID)
                return "TLS: the certificate of " + c.host + names + " is not valid before " + notes.notBefore;
            return "TLS: the certificate of " + c.host + names + " expired on " + notes.notAfter;
        case TlsFailureKind::HostMismatch:
            return "TLS: the certificate of " + c.host + " is made out for another host" +
                   (notes.certificateNames.empty() ? std::string() : ": " + notes.certificateNames);
        case TlsFailureKind::ClientCertRefused:
            if (c.certFile.empty())
                return "TLS: " + c.host + " asks for a client certificate and none is given (" +
                       reasonOf(notes.sslLine) + ")";
            return "TLS: " + c.host + " refused the client certificate " + c.certFile + " (" +
                   reasonOf(notes.sslLine) + ")";
        case TlsFailureKind::Other:
            break;
    }
    std::string why = reasonOf(notes.sslLine.empty() ? notes.libraryLine : notes.sslLine);
    if (notes.verifyResult != X509_V_OK) why += ": " + std::string(X509_verify_cert_error_string(notes.verifyResult));
    return "TLS: " + c.host + ": " + why;
}

}  // namespace orlix
