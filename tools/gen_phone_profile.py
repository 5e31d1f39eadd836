#!/usr/bin/env python3
"""Writes tests/profiles/current-phone.txt: a current phone (Android 14) with
the packages such a phone ships: Android's own, the chip vendor's, the maker's
and the apps its owner installed; and tests/profiles/android8-phone.txt, the
same maker's phone of Android 8.1 without the packages of later releases.
Run it again after editing the lists below; the profiles are checked in."""
import os
import zlib

AOSP = """android com.android.backupconfirm com.android.bips com.android.bluetooth com.android.bluetoothmidiservice
com.android.bookmarkprovider com.android.calllogbackup com.android.camera2 com.android.captiveportallogin
com.android.carrierconfig com.android.carrierdefaultapp com.android.cellbroadcastreceiver com.android.certinstaller
com.android.companiondevicemanager com.android.contacts com.android.credentialmanager com.android.cts.ctsshim
com.android.cts.priv.ctsshim com.android.defcontainer com.android.deskclock com.android.dialer
com.android.documentsui com.android.dreams.basic com.android.dreams.phototable com.android.dynsystem
com.android.egg com.android.emergency com.android.externalstorage com.android.fileexplorer
com.android.hotspot2.osulogin com.android.htmlviewer com.android.incallui com.android.inputdevices
com.android.inputmethod.latin com.android.intentresolver com.android.keychain com.android.localtransport
com.android.location.fused com.android.managedprovisioning com.android.mms com.android.mms.service
com.android.mtp com.android.musicfx com.android.networkstack.tethering com.android.nfc com.android.ons
com.android.pacprocessor com.android.permissioncontroller com.android.phone com.android.printspooler
com.android.providers.blockednumber com.android.providers.calendar com.android.providers.contacts
com.android.providers.downloads com.android.providers.downloads.ui com.android.providers.media
com.android.providers.media.module com.android.providers.partnerbookmarks com.android.providers.settings
com.android.providers.telephony com.android.providers.userdictionary com.android.provision
com.android.proxyhandler com.android.quicksearchbox com.android.rkpdapp com.android.sdksandbox
com.android.se com.android.server.telecom com.android.settings com.android.settings.intelligence
com.android.sharedstoragebackup com.android.shell com.android.simappdialog com.android.smspush
com.android.soundpicker com.android.statementservice com.android.stk com.android.storagemanager
com.android.systemui com.android.systemui.accessibility.accessibilitymenu com.android.theme.font.notoserifsource
com.android.traceur com.android.updater com.android.vending com.android.vpndialogs com.android.wallpaper.livepicker
com.android.wallpaperbackup com.android.wallpapercropper com.android.wifi.dialog com.android.wifi.resources
com.android.adservices.api com.android.apps.tag com.android.avatarpicker com.android.calendar
com.android.cellbroadcastservice com.android.connectivity.resources com.android.devicelockcontroller
com.android.federatedcompute.services com.android.healthconnect.controller com.android.internal.display.cutout.emulation.corner
com.android.internal.display.cutout.emulation.double com.android.internal.display.cutout.emulation.hole
com.android.internal.display.cutout.emulation.tall com.android.internal.display.cutout.emulation.waterfall
com.android.internal.systemui.navbar.gestural com.android.internal.systemui.navbar.threebutton
com.android.internal.systemui.navbar.transparent com.android.microdroid.empty_payload com.android.nearby.halfsheet
com.android.ondevicepersonalization.services com.android.role.notes.enabled com.android.safetycenter.resources
com.android.uwb.resources com.android.virtualmachine.res com.android.wifi.dialog.overlay
com.android.systemui.plugin.globalactions.wallet com.android.printservice.recommendation
com.android.bluetooth.overlay com.android.managedprovisioning.overlay com.android.networkstack.overlay
com.android.cameraextensions com.android.DeviceAsWebcam com.android.imsserviceentitlement
com.android.remoteprovisioner com.android.settings.overlay.common com.android.systemui.overlay.common
com.android.telephony.resources com.android.voicetrigger com.android.wallpaper com.android.gallery3d
com.android.emergency.overlay com.android.phone.overlay.common com.android.server.NetworkPermissionConfig""".split()

GOOGLE = """com.google.android.webview com.google.android.gms com.google.android.gsf com.google.android.ext.services
com.google.android.ext.shared com.google.android.marvin.talkback com.google.android.tts com.google.android.printservice.recommendation
com.google.android.cellbroadcastreceiver com.google.android.overlay.gmsconfig com.google.android.trichromelibrary
com.google.android.modulemetadata com.google.android.networkstack com.google.android.permissioncontroller
com.google.android.documentsui com.google.android.captiveportallogin com.google.android.providers.media.module
com.google.android.adservices.api com.google.android.healthconnect.controller com.google.android.wifi.resources""".split()

QTI = """com.qualcomm.qti.autoregistration com.qualcomm.qti.callfeaturessetting com.qualcomm.qti.cne
com.qualcomm.qti.devicestatisticsservice com.qualcomm.qti.dynamicddsservice com.qualcomm.qti.lpa
com.qualcomm.qti.performancemode com.qualcomm.qti.poweroffalarm com.qualcomm.qti.qcolor com.qualcomm.qti.qms.service.connectionsecurity
com.qualcomm.qti.remoteSimlockAuth com.qualcomm.qti.ridemodeaudio com.qualcomm.qti.server.qtiwifi
com.qualcomm.qti.services.secureui com.qualcomm.qti.services.systemhelper com.qualcomm.qti.simcontacts
com.qualcomm.qti.uceShimService com.qualcomm.qti.uim com.qualcomm.qti.workloadclassifier com.qualcomm.atfwd
com.qualcomm.embms com.qualcomm.location com.qualcomm.qcrilmsgtunnel com.qualcomm.timeservice
com.qualcomm.uimremoteclient com.qualcomm.uimremoteserver com.qualcomm.wfd.service vendor.qti.hardware.cacert.server
vendor.qti.iwlan vendor.qti.qesdk.sysservice com.quicinc.cne.CNEService org.codeaurora.ims""".split()

OEM = """com.miui.analytics com.miui.antispam com.miui.audioeffect com.miui.audiomonitor com.miui.backup
com.miui.bugreport com.miui.calculator com.miui.catcherpatch com.miui.cit com.miui.cleanmaster
com.miui.cloudbackup com.miui.cloudservice com.miui.cloudservice.sysbase com.miui.compass com.miui.contentcatcher
com.miui.contentextension com.miui.core com.miui.daemon com.miui.extraphoto com.miui.face com.miui.freeform
com.miui.gallery com.miui.greenguard com.miui.guardprovider com.miui.home com.miui.hybrid com.miui.hybrid.accessory
com.miui.micloudsync com.miui.misound com.miui.miwallpaper com.miui.mishare.connectivity com.miui.msa.global
com.miui.newhome com.miui.notes com.miui.notification com.miui.packageinstaller com.miui.personalassistant
com.miui.phrase com.miui.player com.miui.powerkeeper com.miui.qr com.miui.rom com.miui.screenrecorder
com.miui.screenshot com.miui.securityadd com.miui.securitycenter com.miui.securitycore com.miui.securityinputmethod
com.miui.sekeytool com.miui.system com.miui.systemAdSolution com.miui.thirdappassistant com.miui.touchassistant
com.miui.translation.kingsoft com.miui.translation.xmcloud com.miui.translationservice com.miui.tsmclient
com.miui.uireporter com.miui.vipservice com.miui.virtualsim com.miui.voiceassist com.miui.voicetrigger
com.miui.vsimcore com.miui.weather2 com.miui.wmsvc com.miui.yellowpage com.miui.accessibility
com.miui.aod com.miui.carlink com.miui.dmregservice com.miui.mediaeditor com.miui.mediaviewer
com.miui.otaprovision com.miui.privacycomputing com.miui.smarttravel com.miui.video com.miui.fm
com.xiaomi.account com.xiaomi.aiasst.service com.xiaomi.aiasst.vision com.xiaomi.aicr com.xiaomi.bluetooth
com.xiaomi.calendar com.xiaomi.gamecenter com.xiaomi.gamecenter.sdk.service com.xiaomi.joyose com.xiaomi.location.fused
com.xiaomi.macro com.xiaomi.market com.xiaomi.micloud.sdk com.xiaomi.migameservice com.xiaomi.mircs
com.xiaomi.mirror com.xiaomi.misettings com.xiaomi.mtb com.xiaomi.payment com.xiaomi.powerchecker
com.xiaomi.scanner com.xiaomi.shop com.xiaomi.simactivate.service com.xiaomi.smarthome com.xiaomi.trustservice
com.xiaomi.ugd com.xiaomi.vipaccount com.xiaomi.xmsf com.xiaomi.xmsfkeeper com.xiaomi.finddevice
com.xiaomi.gnss.polaris com.xiaomi.digitalkey com.xiaomi.barrage com.xiaomi.wallet com.xiaomi.youpin
com.mi.health com.mi.liveassistant com.mi.appfinder com.mfashiongallery.emag com.duokan.phone.remotecontroller
com.duokan.reader com.sohu.inputmethod.sogou.xiaomi com.iflytek.inputmethod.miui com.baidu.input_mi
com.lbe.security.miui com.fido.asm com.fido.xiaomi.uafclient com.tencent.soter.soterserver com.goodix.fingerprint.setting
com.unionpay.tsmservice.mi com.sohu.inputmethod.sogou com.autonavi.minimap.xiaomi com.milink.service
com.mobiletools.systemhelper com.modemdebug com.wapi.wapicertmanage com.bsp.catchlog com.longcheertel.sarauth
com.longcheertel.cit com.xiaomi.cameratools com.android.camera com.miui.cameraopt com.xiaomi.camera.mivi""".split()

THIRD = """com.tencent.mm com.tencent.mobileqq com.eg.android.AlipayGphone com.taobao.taobao com.ss.android.ugc.aweme
com.sina.weibo com.jingdong.app.mall com.baidu.searchbox com.xunmeng.pinduoduo tv.danmaku.bili com.autonavi.minimap
com.netease.cloudmusic com.zhihu.android com.sankuai.meituan com.smile.gifmaker com.UCMobile com.tencent.qqmusic
com.kugou.android com.ss.android.article.news com.dianping.v1 com.ctrip.ctripmain com.sdu.didi.psnger com.moji.mjweather
com.tencent.wework com.alibaba.android.rimet com.tencent.qqlive com.youku.phone com.qiyi.video com.tencent.tmgp.sgame
com.miHoYo.Yuanshen com.xingin.xhs com.ss.android.lark cn.wps.moffice_eng com.baidu.netdisk com.tencent.androidqqmail
com.cmbchina.ccd.pluto.cmbActivity com.icbc com.chinamworld.main com.unionpay com.airwatch.androidagent
com.example.kiosk.policy com.tencent.weread com.ximalaya.ting.android com.hupu.games""".split()

PROTECTED = {"android", "com.android.systemui", "com.android.phone", "com.android.settings",
             "com.android.providers.settings", "com.android.permissioncontroller", "com.miui.securitycenter",
             "com.miui.home", "com.xiaomi.finddevice", "com.android.server.telecom", "com.miui.packageinstaller",
             "com.lbe.security.miui"}
DELETE_FAILS = {"android": "DELETE_FAILED_INTERNAL_ERROR", "com.android.phone": "DELETE_FAILED_INTERNAL_ERROR",
                "com.xiaomi.finddevice": "DELETE_FAILED_DEVICE_POLICY_MANAGER",
                "com.airwatch.androidagent": "DELETE_FAILED_DEVICE_POLICY_MANAGER",
                "com.example.kiosk.policy": "DELETE_FAILED_USER_RESTRICTED",
                "com.miui.securitycenter": "DELETE_FAILED_INTERNAL_ERROR",
                "com.google.android.trichromelibrary": "DELETE_FAILED_USED_SHARED_LIBRARY"}
STATES = {"com.miui.analytics": "disabled-user", "com.miui.systemAdSolution": "disabled-user",
          "com.miui.msa.global": "uninstalled", "com.miui.hybrid": "uninstalled", "com.android.egg": "disabled",
          "com.xiaomi.joyose": "disabled-user"}
# System apps the owner updated from the store: their APK moved to /data/app.
UPDATED = {"com.google.android.webview", "com.xiaomi.market", "com.miui.weather2", "com.miui.gallery",
           "com.android.vending", "com.google.android.gms", "com.sohu.inputmethod.sogou.xiaomi"}

HEADER = """# A current phone: Android 14 on a maker's build, with the packages such a
# phone ships and some its owner installed. Written by
# tools/gen_phone_profile.py; the simulator rewrites package states in place.
platform-tools 35.0.1
device 8a3c7f21 device product:fuxi model:2211133C device:fuxi transport_id:3
api 34
prop ro.product.manufacturer Xiaomi
prop ro.product.brand Xiaomi
prop ro.build.version.incremental V816.0.5.0.UMCCNXM
prop ro.build.fingerprint Xiaomi/fuxi/fuxi:14/UKQ1.230804.001/V816.0.5.0.UMCCNXM:user/release-keys
prop ro.build.version.security_patch 2024-03-01
prop persist.sys.locale zh-CN
focus com.tencent.mm/com.tencent.mm.ui.LauncherUI
"""

ANDROID8_HEADER = """# An Android 8.1 phone (API 27) of 2018 on the maker's build, with the
# packages of the current phone that Android 8 already had. pm is a Java
# program here (a VM start per call) while `cmd package` is native. Written by
# tools/gen_phone_profile.py; the simulator rewrites package states in place.
platform-tools 35.0.1
device 5f2e8c1d device product:whyred model:Redmi_Note_5 device:whyred transport_id:2
api 27
prop ro.product.model Redmi Note 5
prop ro.product.manufacturer Xiaomi
prop ro.product.brand xiaomi
prop ro.build.version.incremental V10.3.1.0.OEICNXM
prop ro.build.fingerprint xiaomi/whyred/whyred:8.1.0/OPM1.171019.011/V10.3.1.0.OEICNXM:user/release-keys
prop ro.build.version.security_patch 2019-04-01
prop persist.sys.locale zh-CN
# A phone of its time: USB 2.0, a slower package service; a Java VM start
# for pm or settings of about a third of a second.
connect-ms 50
command-ms 20
vm-ms 350
script-ms 8
disable-ms 80
enable-ms 80
install-existing-ms 200
uninstall-ms 350
focus com.tencent.mm/com.tencent.mm.ui.LauncherUI
"""

# Android's own packages that came after Android 8.1 (modules, overlays,
# resources and the features of Android 9 to 14).
LATER = {"com.android.credentialmanager", "com.android.dynsystem", "com.android.intentresolver", "com.android.rkpdapp",
         "com.android.sdksandbox", "com.android.traceur", "com.android.adservices.api", "com.android.avatarpicker",
         "com.android.cellbroadcastservice", "com.android.devicelockcontroller", "com.android.federatedcompute.services",
         "com.android.healthconnect.controller", "com.android.microdroid.empty_payload", "com.android.nearby.halfsheet",
         "com.android.ondevicepersonalization.services", "com.android.role.notes.enabled",
         "com.android.virtualmachine.res", "com.android.wifi.dialog", "com.android.permissioncontroller",
         "com.android.networkstack.tethering", "com.android.systemui.accessibility.accessibilitymenu",
         "com.android.cameraextensions", "com.android.DeviceAsWebcam", "com.android.imsserviceentitlement",
         "com.android.remoteprovisioner", "com.android.theme.font.notoserifsource", "com.android.voicetrigger",
         "com.android.systemui.plugin.globalactions.wallet", "com.android.server.NetworkPermissionConfig",
         "com.google.android.adservices.api", "com.google.android.healthconnect.controller",
         "com.google.android.networkstack", "com.google.android.permissioncontroller", "com.google.android.documentsui",
         "com.google.android.captiveportallogin", "com.google.android.modulemetadata",
         "com.google.android.cellbroadcastreceiver", "com.google.android.trichromelibrary"}


def is_later(name):
    return name in LATER or any(part in name for part in (".overlay", ".resources", ".module", "cutout", "navbar"))


def write_profile(root, file_name, header, keep, updated_path):
    seen, lines = set(), [header]
    uid = 10040
    groups = [(AOSP, True), (GOOGLE, True), (QTI, True), (OEM, True), (THIRD, False)]
    for names, system in groups:
        for name in names:
            if name in seen or not keep(name):
                continue
            seen.add(name)
            words = ["package", name, STATES.get(name, "enabled"), "system" if system else "third-party"]
            if name == "android" or name.startswith("com.android.providers") or name == "com.android.phone":
                words.append("uid=1000" if name == "android" else "uid=1001")
            else:
                words.append("uid=%d" % uid)
                uid += 1
            if system and name in UPDATED:
                suffix = "%08x" % zlib.crc32(name.encode())
                words.append("path=" + updated_path(name, suffix))
            if name in PROTECTED:
                words.append("protected")
            if name in DELETE_FAILS:
                words.append("delete-fails=" + DELETE_FAILS[name])
            lines.append(" ".join(words) + "\n")
    path = os.path.join(root, "tests", "profiles", file_name)
    with open(path, "w", newline="\n") as f:
        f.writelines(lines)
    print("%s: %d packages" % (path, len(seen)))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    write_profile(root, "current-phone.txt", HEADER, lambda name: True,
                  lambda name, suffix: "/data/app/~~k%sQ3RvZmlsZQ==/%s-p%sY29tcGFueQ==/base.apk" % (suffix, name, suffix[::-1]))
    # Before Android 11 an app's folder is its name and one random part.
    write_profile(root, "android8-phone.txt", ANDROID8_HEADER, lambda name: not is_later(name),
                  lambda name, suffix: "/data/app/%s-p%sY29tcGFueQ==/base.apk" % (name, suffix[::-1]))


if __name__ == "__main__":
    main()
