"""The sample café of the demo inventory server: accounts, café, bars, shifts,
ware types, wares, materials and the cup record.

Every text here must survive the client's round trip through code page 936
(GBK), so names use only characters that page holds; the tests check it.
"""

CAFE_NUMBER = "10001"
CAFE_PASSWORD = "666666"
CAFE_NAME = "星河网咖（演示店）"

# market_id -> market_name, in the order the bar list gives them.
BARS = [("101", "一楼吧台"), ("102", "二楼吧台")]

JOB_LIST = "早班,中班,晚班"
JOB_ORDER = "早班"
PRE_SHELVE = "200.00"
TASTE_SETTING = "少糖,半糖,多糖,去冰,少冰,常温,加热"

# account -> (password, identity, display name). "user" is the identity the
# client reads as a cashier; anything else is a manager to it.
ACCOUNTS = {
    "cashier01": ("123456", "user", "张晓梅"),
    "manager01": ("888888", "manager", "李建国"),
}

# Modes the main configuration announces: jxc_manage_mode and
# jxc_relief_mode (1 normal handover, 2 quick handover).
MANAGE_MODE = 1
RELIEF_MODE = 1

# Distinct starting versions, so a client that sends the wrong list's version
# as its timestamp is caught at once.
VERSIONS = {
    "vcapi_goods": 1001,
    "vcapi_relief": 2001,
    "vcapi_market": 3001,
    "vcapi_goods_class": 4001,
    "vcapi_material": 5001,
    "vcapi_goods_stock": 6001,
    "vcapi_material_stock": 7001,
}

# class_id, class_name
WARE_TYPES = [
    (1, "饮料"),
    (2, "零食"),
    (3, "方便面"),
    (4, "奶茶"),
    (5, "小吃"),
    (6, "日用品"),
]

ORDINARY = 1
MADE_TO_ORDER = 2

# goods_id, name, class_id, properties, price, unit, is_del, is_use
WARES = [
    (1001, "可口可乐500ml", 1, ORDINARY, 3.00, "瓶", 0, 1),
    (1002, "百事可乐500ml", 1, ORDINARY, 3.00, "瓶", 0, 1),
    (1003, "雪碧500ml", 1, ORDINARY, 3.00, "瓶", 0, 1),
    (1004, "芬达橙味500ml", 1, ORDINARY, 3.00, "瓶", 0, 1),
    (1005, "农夫山泉550ml", 1, ORDINARY, 2.00, "瓶", 0, 1),
    (1006, "怡宝纯净水555ml", 1, ORDINARY, 2.00, "瓶", 0, 1),
    (1007, "康师傅冰红茶500ml", 1, ORDINARY, 3.50, "瓶", 0, 1),
    (1008, "统一绿茶500ml", 1, ORDINARY, 3.50, "瓶", 0, 1),
    (1009, "红牛维生素功能饮料250ml", 1, ORDINARY, 6.00, "罐", 0, 1),
    (1010, "东鹏特饮500ml", 1, ORDINARY, 5.00, "瓶", 0, 1),
    (1011, "脉动青柠味600ml", 1, ORDINARY, 5.00, "瓶", 0, 1),
    (1012, "王老吉310ml", 1, ORDINARY, 4.50, "罐", 0, 1),
    (1013, "美年达葡萄味500ml", 1, ORDINARY, 3.00, "瓶", 1, 1),
    (1014, "冰糖雪梨500ml", 1, ORDINARY, 4.00, "瓶", 0, 0),
    (1101, "乐事原味薯片70g", 2, ORDINARY, 7.50, "袋", 0, 1),
    (1102, "上好佳鲜虾片40g", 2, ORDINARY, 4.00, "袋", 0, 1),
    (1103, "奥利奥夹心饼干97g", 2, ORDINARY, 8.00, "盒", 0, 1),
    (1104, "旺旺雪饼84g", 2, ORDINARY, 6.00, "袋", 0, 1),
    (1105, "卫龙大面筋102g", 2, ORDINARY, 4.00, "袋", 0, 1),
    (1106, "双汇王中王火腿肠", 2, ORDINARY, 2.50, "根", 0, 1),
    (1107, "德芙丝滑牛奶巧克力43g", 2, ORDINARY, 9.00, "块", 0, 1),
    (1108, "士力架花生夹心巧克力51g", 2, ORDINARY, 6.00, "条", 0, 1),
    (1109, "绿箭薄荷口香糖", 2, ORDINARY, 2.50, "盒", 0, 1),
    (1201, "康师傅红烧牛肉面", 3, ORDINARY, 5.00, "桶", 0, 1),
    (1202, "统一老坛酸菜牛肉面", 3, ORDINARY, 5.00, "桶", 0, 1),
    (1203, "今麦郎一桶半", 3, ORDINARY, 5.50, "桶", 0, 1),
    (1204, "合味道海鲜风味杯面", 3, ORDINARY, 7.00, "杯", 0, 1),
    (1205, "白象汤好喝老母鸡汤面", 3, ORDINARY, 6.00, "桶", 0, 1),
    (1301, "珍珠奶茶", 4, MADE_TO_ORDER, 10.00, "杯", 0, 1),
    (1302, "椰果奶茶", 4, MADE_TO_ORDER, 10.00, "杯", 0, 1),
    (1303, "柠檬红茶", 4, MADE_TO_ORDER, 8.00, "杯", 0, 1),
    (1304, "手打柠檬茶", 4, MADE_TO_ORDER, 12.00, "杯", 0, 1),
    (1305, "热可可", 4, MADE_TO_ORDER, 9.00, "杯", 0, 1),
    (1401, "蛋炒饭", 5, MADE_TO_ORDER, 12.00, "份", 0, 1),
    (1402, "香肠炒饭", 5, MADE_TO_ORDER, 15.00, "份", 0, 1),
    (1403, "手抓饼", 5, MADE_TO_ORDER, 8.00, "份", 0, 1),
    (1404, "关东煮拼盘", 5, MADE_TO_ORDER, 10.00, "份", 0, 1),
    (1501, "心相印纸巾", 6, ORDINARY, 1.00, "包", 0, 1),
    (1502, "维达湿巾", 6, ORDINARY, 3.00, "包", 0, 1),
]

# material_id, name, unit, is_del
MATERIALS = [
    (3001, "珍珠粉圆", "袋", 0),
    (3002, "椰果", "罐", 0),
    (3003, "奶精粉", "袋", 0),
    (3004, "红茶包", "包", 0),
    (3005, "柠檬", "个", 0),
    (3006, "可可粉", "袋", 0),
    (3007, "果糖", "瓶", 0),
    (3008, "吸管", "包", 0),
    (3009, "杯盖", "条", 0),
    (3010, "打包袋", "个", 0),
    (3011, "一次性餐盒", "个", 0),
    (3012, "鸡蛋", "个", 0),
    (3013, "旧款杯盖", "条", 1),
]

CUP_ID = 9001
CUP_STOCK = {"101": 500, "102": 300}


def ean13(body12):
    """A 13-digit code with its check digit, so scanners and the client's
    barcode search see a well-formed EAN."""
    digits = [int(c) for c in body12]
    check = (10 - sum(d * (3 if i % 2 else 1) for i, d in enumerate(digits)) % 10) % 10
    return body12 + str(check)


def ware_barcode(goods_id, properties):
    # Made-to-order wares are made at the counter and carry no code.
    if properties == MADE_TO_ORDER:
        return ""
    return ean13("69200%07d" % goods_id)


def ware_stock(goods_id, market_id):
    """Deterministic, different per bar, never zero."""
    if market_id == BARS[0][0]:
        return 20 + goods_id * 7 % 31
    return 10 + goods_id * 3 % 19


def material_stock(material_id, market_id):
    if market_id == BARS[0][0]:
        return 40 + material_id * 5 % 23
    return 15 + material_id * 11 % 17


def generated_ware(index):
    """The index-th ware of a generated bulk catalogue (benchmarks)."""
    goods_id = 100000 + index
    class_id = 90 + index % 5
    properties = MADE_TO_ORDER if index % 10 == 9 else ORDINARY
    price = 1.00 + (index % 40) * 0.50
    return (goods_id, "测试商品%05d" % index, class_id, properties, price, "件", 0, 1)


GENERATED_TYPES = [(90 + i, "批量类别%d" % (i + 1)) for i in range(5)]


def generated_material(index):
    return (50000 + index, "测试物料%04d" % index, "份", 0)
