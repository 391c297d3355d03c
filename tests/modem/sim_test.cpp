// SIM and data-context settings against the scripted module.
#include <cstring>

#include "powered_modem.h"

namespace {

using Strings = std::vector<std::string>;

class SimOps : public PoweredModem {};

template <typename T>
T Zeroed() {
    T t;
    memset(&t, 0, sizeof t);
    return t;
}

SSetAuthenticationRequest Auth(const std::string& user, const std::string& password) {
    auto r = Zeroed<SSetAuthenticationRequest>();
    memcpy(r.user, user.data(), std::min(user.size(), sizeof r.user));
    memcpy(r.password, password.data(), std::min(password.size(), sizeof r.password));
    return r;
}

SEnterPinRequest Pin(const std::string& pin, const std::string& newPin = "") {
    auto r = Zeroed<SEnterPinRequest>();
    memcpy(r.pin, pin.data(), std::min(pin.size(), sizeof r.pin));
    memcpy(r.newPin, newPin.data(), std::min(newPin.size(), sizeof r.newPin));
    return r;
}

TEST_F(SimOps, AuthenticationSendsPasswordFirstAndFieldsWhole) {
    const struct {
        const char* name;
        std::string user, password;
    } cases[] = {
        {"short", "alice", "secret"},
        // Fields filled to the last byte, no zero: each ends at its field.
        {"user unterminated", std::string(256, 'u'), "secret"},
        {"both unterminated", std::string(256, 'u'), std::string(256, 'p')},
    };
    for (const auto& c : cases) {
        const std::string command = "AT+CGAUTH=1,3,\"" + c.password + "\",\"" + c.user + "\"\r\n";
        modem.On(command, "\r\nOK\r\n");
        const auto request = Auth(c.user, c.password);
        EXPECT_EQ(Rec(impl->SetAuthentication(&request)), (SRecord{1, 0, "\r\nOK\r\n"})) << c.name;
        EXPECT_EQ(Sent().back(), command) << c.name;
    }
}

TEST_F(SimOps, ApnOfFullLengthIsSentWhole) {
    for (size_t length : {4u, 255u, 256u}) {
        const std::string apn = length == 4 ? "web1" : std::string(length, 'a');
        const std::string command = "AT+CGDCONT=1,\"IP\",\"" + apn + "\"\r\n";
        modem.On(command, "\r\nOK\r\n");
        auto request = Zeroed<SSetApnRequest>();
        memcpy(request.apn, apn.data(), apn.size());
        EXPECT_EQ(Rec(impl->SetApn(&request)), (SRecord{1, 0, "\r\nOK\r\n"})) << length;
        EXPECT_EQ(Sent().back(), command) << length;
    }
}

TEST_F(SimOps, SettingsFailWithTheAnswer) {
    modem.On("AT+CGDCONT=*", "\r\n+CME ERROR: 4\r\n");  // framed: stays pending
    const auto apn = Zeroed<SSetApnRequest>();
    EXPECT_EQ(Rec(impl->SetApn(&apn)), (SRecord{2, -102, "Chip internal fail! \r\n+CME ERROR: 4\r\n"}));
    const auto auth = Auth("u", "p");
    EXPECT_EQ(Rec(impl->SetAuthentication(&auth)), (SRecord{2, -101, "Chip internal fail! \r\nERROR\r\n"}));
}

TEST_F(SimOps, SettingsAndPinAreRefusedWhileConnected) {
    ConnectLte();
    const size_t before = modem.Commands().size();
    const SRecord refused{2, -2, "LTE must be disconnected!"};
    const auto auth = Auth("u", "p");
    const auto apn = Zeroed<SSetApnRequest>();
    const auto pin = Pin("1234");
    EXPECT_EQ(Rec(impl->SetAuthentication(&auth)), refused);
    EXPECT_EQ(Rec(impl->SetApn(&apn)), refused);
    EXPECT_EQ(Rec(impl->EnterPin(&pin)), refused);
    EXPECT_EQ(modem.Commands().size(), before);
    // Status and retries are served all the same.
    modem.On("AT+CPIN?\r\n", "\r\n+CPIN: READY\r\n\r\nOK\r\n", true);
    modem.On("AT+SPIC\r\n", "\r\n+SPIC: 3,10,0,10\r\n\r\nOK\r\n");
    EXPECT_EQ(impl->GetSimStatus().cmdStatus, 1);
    EXPECT_EQ(Rec(impl->GetPinRetries()), (SRecord{1, 0, "\r\n+SPIC: 3,10,0,10\r\n\r\nOK\r\n"}));
}

TEST(SimOpsUnpowered, AllRefuse) {
    auto impl = UnpoweredModem();
    const SRecord refused{2, -2, "Chip is not initialized!"};
    const auto auth = SSetAuthenticationRequest{};
    const auto apn = SSetApnRequest{};
    const auto pin = SEnterPinRequest{};
    EXPECT_EQ(Rec(impl->SetAuthentication(&auth)), refused);
    EXPECT_EQ(Rec(impl->SetApn(&apn)), refused);
    EXPECT_EQ(Rec(impl->EnterPin(&pin)), refused);
    EXPECT_EQ(Rec(impl->GetPinRetries()), refused);
    EXPECT_EQ(Rec(impl->GetSimStatus()), refused);
}

TEST_F(SimOps, SimStatusReportsTheNamedState) {
    modem.SetSplit(0, 0);  // an unframed error line completes on its first bytes
    const struct {
        ScriptedModem::Reply reply;
        SRecord record;
    } cases[] = {
        {{{"\r\n+CPIN: SIM PIN2\r\n\r\nOK\r\n"}}, {7, 0, "\r\n+CPIN: SIM PIN2\r\n\r\nOK\r\n"}},
        {{{"+CME ERROR: SIM PIN required\r\n"}}, {5, 0, "+CME ERROR: SIM PIN required\r\n"}},
        {{{"+CME ERROR: SIM not inserted\r\n"}}, {1, 2, "+CME ERROR: SIM not inserted\r\n"}},
        {{{"\r\n+CPIN: 100%s\r\n\r\nOK\r\n"}}, {1, 2, "\r\n+CPIN: 100%s\r\n\r\nOK\r\n"}},
        {ScriptedModem::Silence(), {2, -100, "Chip internal fail! "}},
    };
    for (const auto& c : cases) {
        modem.On("AT+CPIN?\r\n", c.reply);
        EXPECT_EQ(Rec(impl->GetSimStatus()), c.record);
    }
}

TEST_F(SimOps, EnterPinSendsOnlyWhenTheSimAsks) {
    const struct {
        const char* name;
        std::string cpin;  // answer to the status query
        SEnterPinRequest request;
        Strings sent;
        SRecord record;
    } cases[] = {
        {"ready", "\r\n+CPIN: READY\r\n\r\nOK\r\n", Pin("1234"), {"AT+CPIN?\r\n"},
         {1, 0, "\r\n+CPIN: READY\r\n\r\nOK\r\n"}},
        {"pin", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", Pin("1234"), {"AT+CPIN?\r\n", "AT+CPIN=1234\r\n"},
         {1, 0, "\r\nOK\r\n"}},
        {"puk and new pin", "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n", Pin("12345678", "4321"),
         {"AT+CPIN?\r\n", "AT+CPIN=12345678,4321\r\n"}, {1, 0, "\r\nOK\r\n"}},
        // Unterminated 32-byte fields end at the field.
        {"full fields", "\r\n+CPIN: SIM PUK2\r\n\r\nOK\r\n", Pin(std::string(32, '1'), std::string(32, '2')),
         {"AT+CPIN?\r\n", "AT+CPIN=" + std::string(32, '1') + "," + std::string(32, '2') + "\r\n"},
         {1, 0, "\r\nOK\r\n"}},
        {"unknown state", "\r\nERROR\r\n", Pin("1234"), {"AT+CPIN?\r\n"}, {1, 2, "\r\nERROR\r\n"}},
    };
    modem.On("AT+CPIN=*", "\r\nOK\r\n", true);
    for (const auto& c : cases) {
        const size_t before = Sent().size();
        modem.On("AT+CPIN?\r\n", c.cpin);
        EXPECT_EQ(Rec(impl->EnterPin(&c.request)), c.record) << c.name;
        const Strings sent = Sent();
        EXPECT_EQ(Strings(sent.begin() + before, sent.end()), c.sent) << c.name;
    }
}

TEST_F(SimOps, EnterPinAfterASilentStatusQuery) {
    // The PIN still goes out; success keeps the query's failure code.
    modem.On("AT+CPIN?\r\n", ScriptedModem::Silence());
    modem.On("AT+CPIN=1234\r\n", "\r\nOK\r\n");
    const auto pin = Pin("1234");
    EXPECT_EQ(Rec(impl->EnterPin(&pin)), (SRecord{1, -100, "\r\nOK\r\n"}));

    modem.On("AT+CPIN?\r\n", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
    modem.On("AT+CPIN=1234\r\n", "\r\n+CME ERROR: incorrect password\r\n\r\nERROR\r\n");
    EXPECT_EQ(Rec(impl->EnterPin(&pin)),
              (SRecord{2, -101, "Chip internal fail! \r\n+CME ERROR: incorrect password\r\n\r\nERROR\r\n"}));
}

TEST_F(SimOps, PinRetriesErrorCodes) {
    modem.On("AT+CPIN?\r\n", ScriptedModem::Silence());
    EXPECT_EQ(Rec(impl->GetPinRetries()), (SRecord{2, -2, "SIM not inserted or chip fail"}));
    EXPECT_EQ(Sent(), Strings{"AT+CPIN?\r\n"});

    // An unrecognised state still goes on to the query; its failure is -2.
    modem.On("AT+CPIN?\r\n", "\r\nERROR\r\n");
    modem.On("AT+SPIC\r\n", "\r\nERROR\r\n");
    EXPECT_EQ(Rec(impl->GetPinRetries()), (SRecord{2, -2, "Chip internal fail! \r\nERROR\r\n"}));
    EXPECT_EQ(Sent().back(), "AT+SPIC\r\n");
}

}  // namespace
