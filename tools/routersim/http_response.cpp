#include "routersim/http_response.h"

namespace routersim {
namespace {

std::string_view ReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
    }
}

}  // namespace

std::string HttpResponse(int status, std::string_view body)
{
    std::string response = "HTTP/1.0 " + std::to_string(status) + " ";
    response.append(ReasonPhrase(status));
    response.append("\r\nContent-Type: text/plain\r\n\r\n");
    response.append(body);
    return response;
}

}  // namespace routersim
