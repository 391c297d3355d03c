// SIM and data-context settings: authentication, APN, PIN, SIM state.
#include "dialogue.h"

namespace {

const std::string kQuery = "AT+CPIN?\r\n";
std::string State(const std::string& name) { return Line("+CPIN: " + name); }
const std::string kReady = State("READY");

Op Auth(const std::string& user, const std::string& password) {
    auto r = Zeroed<SSetAuthenticationRequest>();
    Put(r.user, user);
    Put(r.password, password);
    return With(&M::SetAuthentication, r);
}
Op Apn(const std::string& apn) { return WithField(&M::SetApn, &SSetApnRequest::apn, apn); }
Op Pin(const std::string& pin, const std::string& newPin = "") {
    auto r = Zeroed<SEnterPinRequest>();
    Put(r.pin, pin);
    Put(r.newPin, newPin);
    return With(&M::EnterPin, r);
}

TEST(Sim, Dialogues) {
    const std::string u(256, 'u'), p(256, 'p'), a(256, 'a'), puk(32, '1'), pin(32, '2');
    const std::string spic = "\r\n+SPIC: 3,10,0,10\r\n\r\nOK\r\n";
    const SRecord busy{2, -2, "LTE must be disconnected!"};
    RunDialogues({
        // The module takes the password first; fields full to their last
        // byte end at the field.
        {"auth", kOn, Auth(u, p), {{"AT+CGAUTH=1,3,\"" + p + "\",\"" + u + "\"\r\n", kOk}}, {1, 0, kOk}},
        {"apn", kOn, Apn(a), {{"AT+CGDCONT=1,\"IP\",\"" + a + "\"\r\n", kOk}}, {1, 0, kOk}},
        {"auth connected", kUp, Auth("u", "p"), {}, busy},
        {"apn connected", kUp, Apn("web"), {}, busy},
        {"pin connected", kUp, Pin("1234"), {}, busy},
        // Status and retries are served all the same.
        {"retries connected", kUp, &M::GetPinRetries, {{kQuery, kReady}, {"AT+SPIC\r\n", spic}}, {1, 0, spic}},
        {"status", kOn, &M::GetSimStatus, {{kQuery, State("100%s")}}, {1, 2, State("100%s")}},
        {"status silent", kOn, &M::GetSimStatus, {{kQuery, ScriptedModem::Silence()}}, {2, -100, kFail}},
        {"pin ready", kOn, Pin("1234"), {{kQuery, kReady}}, {1, 0, kReady}},
        {"pin", kOn, Pin("1234"), {{kQuery, State("SIM PIN")}, {"AT+CPIN=1234\r\n", kOk}}, {1, 0, kOk}},
        {"puk",
         kOn,
         Pin(puk, pin),
         {{kQuery, State("SIM PUK")}, {"AT+CPIN=" + puk + "," + pin + "\r\n", kOk}},
         {1, 0, kOk}},
        // An error answer still counts as a state, here none: the query goes
        // ahead, and its failure is -2.
        {"retries refused",
         kOn,
         &M::GetPinRetries,
         {{kQuery, kError}, {"AT+SPIC\r\n", kError}},
         {2, -2, kFail + kError}},
    });
}

}  // namespace
