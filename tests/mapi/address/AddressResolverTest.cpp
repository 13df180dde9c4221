#include "mapi/AddressResolver.h"

#include <gtest/gtest.h>

#include <memory>

#include "mapi/LdapDirectory.h"
#include "runtime/ImportParams.h"
#include "tests/support/SlapdServer.h"

using namespace Tarvik::MAPI;
using TestSupport::SlapdServer;

namespace {

const char* const aliceDn = "/o=Example/ou=First Administrative Group/cn=Recipients/cn=alice";
const char* const bobDn = "/o=Example/ou=First Administrative Group/cn=Recipients/cn=bob";

// Alice is found by her legacyExchangeDN; Bob, as in Active Directory, by the LDAP form of his
// Exchange address; Carol has no mail.
const char* const directoryEntries = R"(dn: dc=example,dc=org
objectClass: dcObject
objectClass: organization
o: Example
dc: example

dn: ou=people,dc=example,dc=org
objectClass: organizationalUnit
ou: people

dn: cn=alice,ou=people,dc=example,dc=org
objectClass: inetOrgPerson
objectClass: exchangeRecipient
cn: alice
sn: Alice
mail: alice@example.org
legacyExchangeDN: /o=Example/ou=First Administrative Group/cn=Recipients/cn=alice

dn: cn=bob,ou=people,dc=example,dc=org
objectClass: inetOrgPerson
objectClass: extensibleObject
cn: bob
sn: Bob
mail: bob@example.org
distinguishedName: cn=bob,cn=Recipients,ou=First Administrative Group,o=Example

dn: cn=carol,ou=people,dc=example,dc=org
objectClass: inetOrgPerson
objectClass: exchangeRecipient
cn: carol
sn: Carol
legacyExchangeDN: /o=Example/ou=First Administrative Group/cn=Recipients/cn=carol
)";

SenderAddress Exchange(const std::string& address) {
    return {"EX", address, {}};
}

// Answers the directory dialog from a script and counts how often it was shown.
class ScriptedPrompt : public IDirectoryPrompt {
  public:
    std::optional<DirectorySettings> answer;
    int asked = 0;
    DirectorySettings shownWith;

    std::optional<DirectorySettings> AskForDirectory(const DirectorySettings& current) override {
        ++asked;
        shownWith = current;
        return answer;
    }
};

class DirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!SlapdServer::Available()) {
            GTEST_SKIP() << "slapd is not installed";
        }
        SlapdServer::Options options;
        options.extraSchemas = {TestSupport::SourceDir() / "tests/mapi/address/exchange.schema"};
        options.ldif = directoryEntries;
        server = std::make_unique<SlapdServer>(options);
        params.adServer = server->Uri();
    }

    ImportParams params;
    ScriptedPrompt prompt;
    std::unique_ptr<SlapdServer> server;
};

}  // namespace

TEST(AddressResolver, SmtpAddressesNeedNoDirectoryAndOtherTypesFail) {
    ImportParams params;
    params.adServer = "LDAP://127.0.0.1:1";  // would fail and ask if it were used
    ScriptedPrompt prompt;
    AddressResolver resolver(params, &prompt);
    EXPECT_EQ(resolver.Resolve({"SMTP", "someone@example.org", {}}), "someone@example.org");
    EXPECT_EQ(resolver.Resolve({"SMTP", "", {}}), "");
    EXPECT_FALSE(resolver.Resolve({"X400", "c=de;a= ;p=Org;", {}}));
    EXPECT_FALSE(resolver.Resolve({"smtp", "lower-case type", {}}));
    EXPECT_EQ(prompt.asked, 0);
    EXPECT_FALSE(params.directoryLookupDeclined);
}

TEST(AddressResolver, ConsoleRunWithoutDirectoryFailsAtOnceAndStaysOn) {
    ImportParams params;
    params.commandLineMode = true;
    ScriptedPrompt prompt;
    AddressResolver resolver(params, &prompt);
    EXPECT_FALSE(resolver.Resolve(Exchange(aliceDn)));
    EXPECT_FALSE(resolver.Resolve(Exchange(aliceDn)));
    EXPECT_EQ(prompt.asked, 0);
    EXPECT_FALSE(params.directoryLookupDeclined);
}

TEST(AddressResolver, DecliningTheDialogSwitchesResolutionOff) {
    ImportParams params;
    ScriptedPrompt prompt;  // answers "cancel"
    AddressResolver resolver(params, &prompt);
    EXPECT_FALSE(resolver.Resolve(Exchange(aliceDn)));
    EXPECT_FALSE(resolver.Resolve(Exchange(bobDn)));
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_TRUE(params.directoryLookupDeclined);
}

TEST(LdapDirectory, FilterEscapesTheAddress) {
    EXPECT_EQ(ExchangeAddressFilter("/o=Org/ou=Site/cn=Recipients/cn=user"),
              "(|(distinguishedName=cn=user,cn=Recipients,ou=Site,o=Org)"
              "(legacyExchangeDN=/o=Org/ou=Site/cn=Recipients/cn=user))");
    EXPECT_EQ(ExchangeAddressFilter("/o=A/cn=*)(mail=*"),
              "(|(distinguishedName=cn=\\2a\\29\\28mail=\\2a,o=A)(legacyExchangeDN=/o=A/"
              "cn=\\2a\\29\\28mail=\\2a))");
    EXPECT_EQ(ExchangeAddressFilter("/o=A/cn=Smith, John"),
              "(|(distinguishedName=cn=Smith\\5c, John,o=A)(legacyExchangeDN=/o=A/cn=Smith, John))");
    EXPECT_EQ(DirectoryPath("dc1.example.org"), "LDAP://dc1.example.org");
    EXPECT_EQ(DirectoryPath("ldaps://dc1.example.org:636"), "ldaps://dc1.example.org:636");
    EXPECT_EQ(DirectoryPath("LDAP://dc1/dc=example,dc=org"), "LDAP://dc1/dc=example,dc=org");
}

TEST_F(DirectoryTest, ResolvesByLegacyDnOrItsLdapForm) {
    params.adServer = "127.0.0.1:" + std::to_string(server->Port());
    AddressResolver resolver(params, &prompt);
    EXPECT_EQ(resolver.Resolve(Exchange(aliceDn)), "alice@example.org");
    EXPECT_EQ(resolver.Resolve(Exchange(bobDn)), "bob@example.org");
    EXPECT_EQ(params.adServer, "LDAP://127.0.0.1:" + std::to_string(server->Port()));
    EXPECT_EQ(prompt.asked, 0);
}

TEST_F(DirectoryTest, MissesFailButKeepResolutionOn) {
    AddressResolver resolver(params, &prompt);
    EXPECT_FALSE(resolver.Resolve(Exchange("/o=Example/cn=Recipients/cn=nobody")));
    EXPECT_FALSE(
        resolver.Resolve(Exchange("/o=Example/ou=First Administrative Group/cn=Recipients/cn=carol")));
    EXPECT_FALSE(resolver.Resolve(Exchange("*")));  // a wildcard matches nobody
    EXPECT_FALSE(resolver.Resolve(Exchange("")));
    EXPECT_EQ(resolver.Resolve(Exchange(aliceDn)), "alice@example.org");
    EXPECT_FALSE(params.directoryLookupDeclined);
}

TEST_F(DirectoryTest, CachesWhatItFound) {
    AddressResolver resolver(params, &prompt);
    EXPECT_EQ(resolver.Resolve(Exchange(aliceDn)), "alice@example.org");
    server->Stop();
    EXPECT_EQ(resolver.Resolve(Exchange(aliceDn)), "alice@example.org");
    // An address not yet known fails now, without switching resolution off.
    EXPECT_FALSE(resolver.Resolve(Exchange(bobDn)));
    EXPECT_FALSE(params.directoryLookupDeclined);
}

TEST_F(DirectoryTest, BindsWithTheConfiguredAccountAndASearchBaseFromThePath) {
    params.adServer = server->Uri() + "/ou=people,dc=example,dc=org";
    params.adUser = server->RootDn();
    params.adPassword = server->RootPassword();
    AddressResolver resolver(params, &prompt);
    EXPECT_EQ(resolver.Resolve(Exchange(aliceDn)), "alice@example.org");
}

TEST_F(DirectoryTest, AsksOnceWhenBindingFailsAndUsesTheAnswer) {
    params.adUser = server->RootDn();
    params.adPassword = "wrong";
    prompt.answer = DirectorySettings{server->Uri(), server->RootDn(), server->RootPassword()};
    AddressResolver resolver(params, &prompt);
    EXPECT_EQ(resolver.Resolve(Exchange(aliceDn)), "alice@example.org");
    EXPECT_EQ(resolver.Resolve(Exchange(bobDn)), "bob@example.org");
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(prompt.shownWith.password, "wrong");
    EXPECT_EQ(params.adPassword, server->RootPassword());
}

TEST_F(DirectoryTest, SwitchesOffWhenBindingFailsAgain) {
    params.adUser = server->RootDn();
    params.adPassword = "wrong";
    prompt.answer = DirectorySettings{server->Uri(), server->RootDn(), "still wrong"};
    AddressResolver resolver(params, &prompt);
    EXPECT_FALSE(resolver.Resolve(Exchange(aliceDn)));
    EXPECT_TRUE(params.directoryLookupDeclined);
    EXPECT_FALSE(resolver.Resolve(Exchange(bobDn)));
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(resolver.Resolve({"SMTP", "still@works.org", {}}), "still@works.org");
}

TEST_F(DirectoryTest, AsksForADirectoryWhenNoneIsConfigured) {
    params.adServer.clear();
    prompt.answer = DirectorySettings{server->Uri(), "", ""};
    AddressResolver resolver(params, &prompt);
    EXPECT_EQ(resolver.Resolve(Exchange(aliceDn)), "alice@example.org");
    EXPECT_EQ(params.adServer, server->Uri());
    EXPECT_EQ(prompt.asked, 1);
}

TEST_F(DirectoryTest, UnreachableOrTlsMismatchedServersFailTheBind) {
    for (std::string path :
         {"ldaps://127.0.0.1:" + std::to_string(server->Port()), std::string("LDAP://127.0.0.1:1")}) {
        ImportParams fresh;
        fresh.adServer = path;
        fresh.commandLineMode = true;
        AddressResolver resolver(fresh);  // nobody to ask
        EXPECT_FALSE(resolver.Resolve(Exchange(aliceDn))) << path;
        EXPECT_TRUE(fresh.directoryLookupDeclined) << path;
    }
}
