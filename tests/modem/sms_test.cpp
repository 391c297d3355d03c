// The SMS store operations against the scripted module.
#include <cstring>

#include "powered_modem.h"

namespace {

using Strings = std::vector<std::string>;

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";
const std::string kTextMode = "\r\n+CMGF: 1\r\n\r\nOK\r\n";
const std::string kPduMode = "\r\n+CMGF: 0\r\n\r\nOK\r\n";

// A text-mode header line of exactly `length` bytes, CR LF included.
std::string Header(int index, size_t length = 60) {
    const std::string head = "+CMGL: " + std::to_string(index) + ",\"REC READ\",\"+";
    const std::string tail = "\",,\"24/05/01,10:00:00+08\"\r\n";
    return head + std::string(length - head.size() - tail.size(), '4') + tail;
}

class SmsOps : public PoweredModem {
protected:
    void SetUp() override {
        PoweredModem::SetUp();
        modem.SetSplit(0, 0);  // long listings: every pending read spends a retry
    }
    Strings SentSince(size_t before) const {
        const Strings all = Sent();
        return Strings(all.begin() + before, all.end());
    }
};

TEST_F(SmsOps, ModeQueryAndSetting) {
    const struct {
        std::string answer;
        SRecord record;
    } queries[] = {
        {kTextMode, {1, 1, "SMS mode: TEXT\r\n"}},
        {kPduMode, {1, 0, "SMS mode: PDU\r\n"}},
        {kOk, {2, 0, "AT+CMGF: Incorrect response!\r\n" + kOk}},
        {kError, {2, -101, "Chip internal fail!\r\n" + kError}},
    };
    for (const auto& q : queries) {
        modem.On("AT+CMGF?\r\n", q.answer);
        EXPECT_EQ(Rec(impl->GetSmsMode()), q.record) << q.answer;
    }
    const struct {
        uint8_t mode;
        std::string command, answer;
        SRecord record;
    } sets[] = {
        {0, "AT+CMGF=0\r\n", kOk, {1, 0, "SMS mode set: PDU"}},
        {7, "AT+CMGF=7\r\n", kOk, {1, 0, "SMS mode set: TEXT"}},  // passed on unchanged
        {1, "AT+CMGF=1\r\n", kError, {2, -101, "Chip internal fail!\r\n" + kError}},
    };
    for (const auto& s : sets) {
        modem.On(s.command, s.answer);
        const SSetSmsModeRequest request{s.mode};
        EXPECT_EQ(Rec(impl->SetSmsMode(&request)), s.record) << int(s.mode);
        EXPECT_EQ(Sent().back(), s.command);
    }
}

TEST_F(SmsOps, ListInBothModes) {
    const std::string two = "\r\n" + Header(1) + "Hello\r\n" + Header(2) + "OK\r\n" + kOk;
    const std::string fits = "\r\n" + Header(1, 500) + "x\r\n" + Header(2, 523) + "y\r\n" + kOk;
    const std::string tooBig = "\r\n" + Header(1, 500) + "x\r\n" + Header(2, 524) + "y\r\n" + kOk;
    const struct {
        const char* name;
        std::string mode;
        SListSmsRequest request;
        std::string command, answer;
        SRecord record;
    } cases[] = {
        {"text empty", kTextMode, {4, 0}, "AT+CMGL=\"ALL\"\r\n", kOk, {1, 1, kOk}},
        {"text empty headers", kTextMode, {9, 1}, "AT+CMGL=\"ALL\"\r\n", kOk, {1, 1, ""}},
        {"pdu selector 4", kPduMode, {4, 0}, "AT+CMGL=4\r\n", kOk, {1, 0, kOk}},
        {"pdu selector 9", kPduMode, {9, 1}, "AT+CMGL=9\r\n", kOk, {1, 0, ""}},
        {"headers", kTextMode, {1, 1}, "AT+CMGL=\"REC READ\"\r\n", two, {1, 1, Header(1) + Header(2)}},
        // The second body is the line "OK": the whole-answer copy ends there.
        {"whole", kTextMode, {0, 0}, "AT+CMGL=\"REC UNREAD\"\r\n", two,
         {1, 1, "\r\n" + Header(1) + "Hello\r\n" + Header(2) + "OK\r\n"}},
        {"headersOnly 2 is whole", kTextMode, {3, 2}, "AT+CMGL=\"STO SENT\"\r\n", two,
         {1, 1, "\r\n" + Header(1) + "Hello\r\n" + Header(2) + "OK\r\n"}},
        // Accepted without OK: copied whole.
        {"connect", kTextMode, {2, 0}, "AT+CMGL=\"STO UNSENT\"\r\n", "\r\nCONNECT\r\n", {1, 1, "\r\nCONNECT\r\n"}},
        {"1023 bytes", kTextMode, {4, 1}, "AT+CMGL=\"ALL\"\r\n", fits, {1, 1, Header(1, 500) + Header(2, 523)}},
        {"1024 bytes", kTextMode, {4, 1}, "AT+CMGL=\"ALL\"\r\n", tooBig,
         {2, 1, ("AT+CMGL: Too big response!\r\n" + tooBig).substr(0, 1023)}},
        {"whole too big", kPduMode, {4, 0}, "AT+CMGL=4\r\n", tooBig,
         {2, 0, ("AT+CMGL: Too big response!\r\n" + tooBig).substr(0, 1023)}},
        {"refused", kPduMode, {4, 0}, "AT+CMGL=4\r\n", "\r\n+CMS ERROR: 302\r\n",
         {2, -102, "Chip internal fail!\r\n\r\n+CMS ERROR: 302\r\n"}},
    };
    for (const auto& c : cases) {
        const size_t before = Sent().size();
        modem.On("AT+CMGF?\r\n", c.mode);
        modem.On(c.command, c.answer);
        EXPECT_EQ(Rec(impl->ListSms(&c.request)), c.record) << c.name;
        EXPECT_EQ(SentSince(before), (Strings{"AT+CMGF?\r\n", c.command})) << c.name;
    }
}

TEST_F(SmsOps, ListStopsWhenTheModeIsUnknown) {
    modem.On("AT+CMGF?\r\n", kOk);
    const SListSmsRequest request{4, 0};
    EXPECT_EQ(Rec(impl->ListSms(&request)), (SRecord{2, 0, "AT+CMGF: Incorrect response!\r\n" + kOk}));
    EXPECT_EQ(Sent(), Strings{"AT+CMGF?\r\n"});
}

TEST_F(SmsOps, ReadCopiesThroughTheFirstOk) {
    const std::string head = "\r\n+CMGR: \"REC READ\",\"+491701234567\",,\"24/05/01,10:00:00+08\"\r\n";
    const std::string big = head + std::string(1000, 'b') + "\r\n" + kOk;
    const struct {
        const char* name;
        std::string answer;
        SRecord record;
    } cases[] = {
        {"message", head + "Hi 100%\r\n" + kOk, {1, 0, head + "Hi 100%\r\n" + kOk}},
        {"body OK", head + "OK\r\n" + kOk, {1, 0, head + "OK\r\n"}},
        {"connect", "\r\nCONNECT\r\n", {1, 0, "\r\nCONNECT\r\n"}},
        {"too big", big, {2, 0, ("AT+CMGR: Too big response!\r\n" + big).substr(0, 1023)}},
        {"refused", kError, {2, -101, "Chip internal fail! " + kError}},
    };
    for (const auto& c : cases) {
        modem.On("AT+CMGR=3\r\n", c.answer);
        const SReadSmsRequest request{3};
        EXPECT_EQ(Rec(impl->ReadSms(&request)), c.record) << c.name;
    }
}

TEST_F(SmsOps, DeleteInBothForms) {
    const struct {
        SDeleteSmsRequest request;
        std::string command, answer;
        SRecord record;
    } cases[] = {
        {{3, 0}, "AT+CMGD=3\r\n", kOk, {1, 0, "Deleted SMS #3, flag 0"}},
        {{3, 4}, "AT+CMGD=3,4\r\n", kOk, {1, 0, "Deleted SMS #3, flag 4"}},
        {{200, 0}, "AT+CMGD=200\r\n", kError, {2, -101, "Chip internal fail!\r\n" + kError}},
    };
    for (const auto& c : cases) {
        modem.On(c.command, c.answer);
        EXPECT_EQ(Rec(impl->DeleteSms(&c.request)), c.record) << c.command;
        EXPECT_EQ(Sent().back(), c.command);
    }
}

TEST(SmsOpsUnpowered, ReadAndDeleteFailTheWrite) {
    auto impl = UnpoweredModem();
    const SReadSmsRequest read{3};
    EXPECT_EQ(Rec(impl->ReadSms(&read)),
              (SRecord{2, -100, "Chip internal fail! Write cmd AT+CMGR=3\r\n to modem failed, written bytes "
                                "4294967295 expected 11"}));
    const SDeleteSmsRequest del{3, 4};
    EXPECT_EQ(Rec(impl->DeleteSms(&del)),
              (SRecord{2, -100, "Chip internal fail!\r\nWrite cmd AT+CMGD=3,4\r\n to modem failed, written bytes "
                                "4294967295 expected 13"}));
    const SRecord refused{2, -2, "Chip is not initialized!"};
    const SListSmsRequest list{4, 0};
    const SSetSmsModeRequest mode{1};
    const SWriteSmsRequest write{};
    EXPECT_EQ(Rec(impl->GetSmsMode()), refused);
    EXPECT_EQ(Rec(impl->SetSmsMode(&mode)), refused);
    EXPECT_EQ(Rec(impl->ListSms(&list)), refused);
    EXPECT_EQ(Rec(impl->WriteSms(&write)), refused);
}

SWriteSmsRequest Sms(uint8_t status, const std::string& phone, const std::string& body) {
    SWriteSmsRequest r;
    memset(&r, 0, sizeof r);
    r.status = status;
    memcpy(r.phone, phone.data(), std::min(phone.size(), sizeof r.phone));
    memcpy(r.body, body.data(), std::min(body.size(), sizeof r.body));
    return r;
}

TEST_F(SmsOps, WriteStoresInTextMode) {
    const std::string stored = "\r\n+CMGW: 5\r\n" + kOk;
    const std::string body160(160, 'b');
    const struct {
        const char* name;
        SWriteSmsRequest request;
        std::string cmgw, cmgwAnswer;
        std::string body, bodyAnswer;  // body empty: not sent
        SRecord record;
    } cases[] = {
        // The middle number is the phone number's digit count.
        {"stored", Sms(2, "491701234567", "Hi 100%"), "AT+CMGW=\"+491701234567\",,\"STO UNSENT\"\r\n", "\r\n> ",
         "Hi 100%\x1a", stored, {1, 5, "Written SMS #5, phone 12, status STO UNSENT"}},
        // Fields full to their last byte end at the field.
        {"full fields", Sms(9, std::string(16, '9'), body160),
         "AT+CMGW=\"+" + std::string(16, '9') + "\",,\"ALL\"\r\n", "\r\n> ", body160 + "\x1a", stored,
         {1, 5, "Written SMS #5, phone 16, status ALL"}},
        {"line refused", Sms(0, "4917", "Hi"), "AT+CMGW=\"+4917\",,\"REC UNREAD\"\r\n", kError, "", "",
         {2, -101, "Chip internal fail!\r\n" + kError}},
        {"body refused", Sms(1, "4917", "Hi"), "AT+CMGW=\"+4917\",,\"REC READ\"\r\n", "\r\n> ", "Hi\x1a",
         "\r\n+CMS ERROR: 322\r\n", {2, -102, "Chip internal fail!\r\n\r\n+CMS ERROR: 322\r\n"}},
        {"no index", Sms(3, "4917", "Hi"), "AT+CMGW=\"+4917\",,\"STO SENT\"\r\n", "\r\n> ", "Hi\x1a", kOk,
         {2, 0, "AT+CMGW: Incorrect response!\r\n" + kOk}},
    };
    for (const auto& c : cases) {
        const size_t before = Sent().size();
        modem.On("AT+CMGF=1\r\n", kOk);
        modem.On(c.cmgw, c.cmgwAnswer);
        if (!c.body.empty()) modem.On(c.body, c.bodyAnswer);
        EXPECT_EQ(Rec(impl->WriteSms(&c.request)), c.record) << c.name;
        // Text mode is set first and left set; the body ends in Ctrl-Z alone.
        Strings expected{"AT+CMGF=1\r\n", c.cmgw};
        if (!c.body.empty()) expected.push_back(c.body);
        EXPECT_EQ(SentSince(before), expected) << c.name;
    }
}

TEST_F(SmsOps, WriteStopsWhenTextModeIsRefused) {
    modem.On("AT+CMGF=1\r\n", kError);
    const SWriteSmsRequest request = Sms(0, "4917", "Hi");
    EXPECT_EQ(Rec(impl->WriteSms(&request)), (SRecord{2, -101, "Chip internal fail!\r\n" + kError}));
    EXPECT_EQ(Sent(), Strings{"AT+CMGF=1\r\n"});
}

}  // namespace
