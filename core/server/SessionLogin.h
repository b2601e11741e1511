// The two logins of a shift and the replies the page gets from them. The
// user login checks an account with the server, or offline against the
// credentials remembered from an earlier online login; the café login binds
// the session to a café and checks the remembered bar. Both write the
// session state of the service manager. Called on the login workers'
// threads; the functions keep no state of their own.
#pragma once

#include <string>
#include <string_view>

class CServiceManager;

// The worker's result and the page reply document (`LoginUser` or
// `LoginNetbar`); an empty body means there is no page reply.
struct LoginOutcome {
  bool result = false;
  std::u16string body;
};

// The page's message texts of a failed user login.
inline constexpr std::u16string_view kLoginTimeout = u"login timeout";
inline constexpr std::u16string_view kWrongPassword = u"wrong password";
inline constexpr std::u16string_view kUnknownError = u"unknown error";
inline constexpr std::u16string_view kBarIdTimeout = u"bar id is timeout";

// The whole user login for the `LoginUser` parameter fragment.
LoginOutcome RunUserLogin(CServiceManager& service, std::u16string_view param);
// The whole café login for the `LoginNetbar` parameter fragment.
LoginOutcome RunNetbarLogin(CServiceManager& service, std::u16string_view param);

// The `LoginUser` page reply for a server reply (or the fixed offline one):
// on success the session id (online), the active café user and the offline
// credentials are stored. `local` is added last.
LoginOutcome MakeLoginUserReply(CServiceManager& service, std::u16string_view account,
                                std::u16string_view password, std::u16string_view serverReply,
                                bool local);
// The `LoginNetbar` page reply for a server reply: on a complete reply the
// session id and the opening amount are stored and the remembered bar is
// checked against the café's bars (and forgotten when it is not one of them).
LoginOutcome MakeLoginNetbarReply(CServiceManager& service, std::u16string_view serverReply);
