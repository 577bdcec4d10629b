#include "module/TQuorvexLogClient.h"

#include "platform/text/Encoding.h"

#include <algorithm>

#include <cstring>

TQuorvexLogClient::TQuorvexLogClient(host::Handle target) : m_target(target) {
    m_buffer[0] = '\0';
}

void TQuorvexLogClient::Send(int kind, const std::string& text) {
    // windows-1251 has one byte per character, so cutting the encoded text at
    // 999 bytes never splits a character.
    std::string bytes = text::Utf8ToCp1251(text);
    size_t length = std::min(bytes.size(), BufferSize - 1);
    std::memcpy(m_buffer, bytes.data(), length);
    m_buffer[length] = '\0';
    host::SendMessage(m_target, HostLogMessage, static_cast<host::WParam>(kind),
                      reinterpret_cast<host::LParam>(m_buffer));
}

std::string TQuorvexLogClient::DecodeMessageText(host::LParam lParam) {
    const char* buffer = reinterpret_cast<const char*>(lParam);
    return buffer ? text::Cp1251ToUtf8(buffer) : std::string();
}
