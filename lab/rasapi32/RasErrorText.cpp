#include "RasErrorText.h"

#include <raserror.h>

namespace lab {

namespace {

const struct {
  UINT code;
  const wchar_t* text;
} kTexts[] = {
    {ERROR_PORT_ALREADY_OPEN, L"The specified port is already open."},
    {ERROR_BUFFER_TOO_SMALL, L"The buffer is too small."},
    {ERROR_BUFFER_INVALID, L"The buffer supplied is not valid."},
    {ERROR_ALREADY_DISCONNECTING, L"The specified port or device is already disconnecting."},
    {ERROR_CANNOT_OPEN_PHONEBOOK, L"The system could not open the phone book file."},
    {ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, L"The system could not find the phone book entry for this connection."},
    {ERROR_INVALID_SIZE, L"The structure size is incorrect."},
    {ERROR_PORT_NOT_AVAILABLE,
     L"The modem (or other connecting device) is already in use or is not configured properly."},
    {ERROR_UNKNOWN, L"An unknown error has occurred."},
    {ERROR_USER_DISCONNECTION, L"The connection was terminated by the local computer."},
    {ERROR_REQUEST_TIMEOUT, L"The request has timed out."},
    {ERROR_AUTHENTICATION_FAILURE,
     L"Remote access was denied because the user name and/or password was invalid on the domain."},
    {ERROR_AUTOMATIC_VPN_FAILED,
     L"The remote connection was not made because the attempted VPN tunnels failed. The VPN server might be "
     L"unreachable."},
    {ERROR_DNSNAME_NOT_RESOLVABLE,
     L"The remote connection was not made because the name of the remote access server did not resolve."},
};

}  // namespace

const wchar_t* RasErrorText::find(UINT code) {
  for (const auto& entry : kTexts)
    if (entry.code == code) return entry.text;
  return nullptr;
}

}  // namespace lab
