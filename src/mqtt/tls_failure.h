#pragma once
// Why a TLS connection to the broker failed, in words that name the file or
// host concerned. libmosquitto reports a failed handshake as OpenSSL's
// "certificate verify failed" whatever the reason; the reason is in the
// state of the handshake at that moment (the certificate check's result,
// the broker's certificate) and in the OpenSSL error codes the library
// writes into its error lines. TlsFailureNotes gathers them while the
// library reports, and tlsFailureText() turns them into one line — the same
// line in every program that talks to a broker.
#include <cstdint>
#include <string>

namespace orlix {

enum class TlsFailureKind {
    None,               // no TLS failure seen
    UnknownCa,          // the broker's certificate is signed by no CA we trust
    Expired,            // the broker's certificate expired (or is not valid yet)
    HostMismatch,       // the broker's certificate is made out for another host
    ClientCertRefused,  // the broker refused our client certificate (or wanted one)
    Other,              // another TLS failure: the library's line says which
};

// What was seen of one failed attempt.
struct TlsFailureNotes {
    long verifyResult = 0;       // X509_V_OK or the check's error code
    std::uint32_t sslError = 0;  // the first OpenSSL error code of the library's lines
    bool hostCheckFailed = false;  // the library said the host name did not match
    bool sawTlsError = false;
    std::string certificateNames;  // the broker's certificate: its subject and alternative names
    std::string notAfter, notBefore;  // its validity, as "2026-01-31 12:00 UTC"
    std::string sslLine;           // the library's first OpenSSL error line
    std::string libraryLine;       // the library's last error line, as it wrote it

    void clear() { *this = TlsFailureNotes{}; }
};

// The TLS files and host a client was given, for the text.
struct TlsContext {
    std::string host;
    std::string caFile;    // "" for the system's CAs
    std::string certFile;  // "" when no client certificate is given
};

TlsFailureKind classifyTlsFailure(const TlsFailureNotes& notes);

// "TLS: ..." naming the cause and the file or host concerned; "" when the
// notes hold no TLS failure.
std::string tlsFailureText(const TlsFailureNotes& notes, const TlsContext& context);

// Reads one error line of libmosquitto into `notes`. `ssl` is the
// connection's OpenSSL object (null when there is none): the certificate
// check's result and the broker's certificate are taken from it while the
// handshake that failed is still there.
void noteLibraryError(TlsFailureNotes& notes, const char* line, void* ssl);

}  // namespace orlix
