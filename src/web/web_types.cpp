#include "web/web_types.h"

#include "web/json_out.h"

namespace orlix::web {

WebResponse WebResponse::json(std::string body, int status) {
    WebResponse r;
    r.status = status;
    r.body = QByteArray::fromStdString(body);
    return r;
}

WebResponse WebResponse::error(int status, std::string_view message) {
    JsonOut j;
    j.beginObject().field("error", message).endObject();
    return json(j.take(), status);
}

WebResponse WebResponse::bytes(QByteArray type, QByteArray body) {
    WebResponse r;
    r.type = std::move(type);
    r.body = std::move(body);
    return r;
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 202: return "Accepted";
        case 204: return "No Content";
        case 303: return "See Other";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 409: return "Conflict";
        case 411: return "Length Required";
        case 413: return "Payload Too Large";
        case 429: return "Too Many Requests";
        case 431: return "Request Header Fields Too Large";
        case 503: return "Service Unavailable";
        default: return status < 500 ? "Bad Request" : "Internal Server Error";
    }
}

}  // namespace orlix::web
