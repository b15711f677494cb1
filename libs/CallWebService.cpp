// The web-service library the suite loads by name: posts a request to a service and
// writes the answer to a file. Built on libcurl.
//
//   int CallWebServiceFx(address, method, request, resultFile)
// POSTs request (UTF-8 XML) to address with the method in the SOAPAction header, waits
// at most 10 s (QV_WEBSERVICE_TIMEOUT_MS ms when set), and writes the answer body to resultFile. 0 when the service answered
// with HTTP 2xx; else non-zero, with whatever body came in resultFile and the reason in
// resultFile + ".error".

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

constexpr long kTimeLimitMs = 10000;

// The time limit of a call; QV_WEBSERVICE_TIMEOUT_MS overrides it (the entry point has no
// other way to take a setting).
long timeLimitMs()
{
    const char* v = std::getenv("QV_WEBSERVICE_TIMEOUT_MS");
    const long ms = v ? std::atol(v) : 0;
    return ms > 0 ? ms : kTimeLimitMs;
}

size_t collect(char* data, size_t size, size_t count, void* out)
{
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

bool writeFile(const std::string& name, const std::string& text)
{
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

int fail(const std::string& resultFile, const std::string& body, const std::string& reason, int code)
{
    writeFile(resultFile, body);
    writeFile(resultFile + ".error", reason);
    return code;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int CallWebServiceFx(const char* address, const char* method,
                                                                      const char* request, const char* resultFile)
{
    if (!resultFile || !*resultFile)
        return 2;
    if (!address || !*address)
        return fail(resultFile, {}, "No web service address", 3);
    static std::once_flag init;
    std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl)
        return fail(resultFile, {}, "The HTTP client could not start", 4);
    std::string body;
    char error[CURL_ERROR_SIZE] = {};
    const std::string action = std::string("SOAPAction: \"") + (method ? method : "") + "\"";
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml; charset=utf-8");
    headers = curl_slist_append(headers, action.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, address);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request ? request : "");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeLimitMs());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK)
        return fail(resultFile, body, std::string(*error ? error : curl_easy_strerror(rc)) + " (" + address + ")", 5);
    if (status < 200 || status >= 300)
        return fail(resultFile, body, "The web service answered HTTP " + std::to_string(status) + " (" + address + ")", 6);
    return writeFile(resultFile, body) ? 0 : fail(resultFile, {}, std::string("Cannot write ") + resultFile, 7);
}
