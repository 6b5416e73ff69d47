#include "core/profiles/EditorItems.h"

#include <initializer_list>

namespace {

// A run of the category list: a main category, whether it is an item of its own, and its
// subcategories, each listed as "Main:Sub".
struct CategoryGroup {
    const char* main;
    bool itself;
    std::initializer_list<const char*> subs;
};

// Plain items are groups without subcategories. "Computer" is only a prefix, while
// "Computers" follows its subcategories as an item of its own.
const CategoryGroup Groups[] = {
    {"Adults Only", true, {}},
    {"Autos", true, {}},
    {"Business",
     true,
     {"Accounting", "Banking", "Consultants", "Employment", "Finance", "Insurance", "Legal", "Mail Order",
      "MLM", "Services", "Stock Market", "Supplies", "Travel"}},
    {"Careers", true, {}},
    {"Classifieds/Auctions", true, {}},
    {"Communications",
     true,
     {"Advertising", "Consultants", "Media", "Public Relations", "Publishers", "Services",
      "Telecommunications"}},
    {"Community", true, {}},
    {"Computer",
     false,
     {"Consultants", "Hardware", "Internet", "Multimedia", "Services", "Software", "Supplies", "Training"}},
    {"Computers", true, {}},
    {"Consumer",
     true,
     {"Antiques", "Appliances", "Art", "Books and Magazines", "Children", "Clothing", "Electronics",
      "Environmental", "Flowers and Gardening", "Food and Beverage", "Furniture", "Goods", "Health Care",
      "Household", "Insurance", "Mail Order", "Music", "Pets", "Services"}},
    {"Education",
     true,
     {"Adult", "College", "Consultants", "Distance", "Preschool", "Supplies", "Vocational"}},
    {"Entertainment",
     true,
     {"Art", "Consultants", "Events", "Games", "Literature", "Movies", "Museums", "Music", "Outdoors",
      "Recreation", "Restaurants", "Services", "Sports", "Theaters"}},
    {"Games", true, {}},
    {"Government", true, {}},
    {"Health", true, {}},
    {"Home/Real Estate", true, {}},
    {"Lifestyle", true, {}},
    {"Local", true, {}},
    {"Manufacturing",
     true,
     {"Agriculture", "Chemical", "Construction", "Electronic", "Fishing", "Food", "Forestry", "Furniture",
      "Instruments", "Machinery", "Metals", "Mining", "Oil and Gas", "Paper", "Pharmaceutical", "Printing",
      "Textile"}},
    {"Medical",
     true,
     {"Clinics", "Dental", "Hospitals", "Insurance", "Laboratories", "Nursing", "Research", "Supplies",
      "Veterinary", "Vision"}},
    {"Miscellaneous", true, {}},
    {"Money/Investing", true, {}},
    {"News", true, {}},
    {"People/Chat", true, {}},
    {"Personal", true, {}},
    {"Publishing", true, {}},
    {"Real Estate",
     true,
     {"Agents", "Architecture", "Commercial", "Construction", "Housing", "Maintenance and Repair",
      "Mortgages", "Rentals", "Residential", "Services"}},
    {"Religion", true, {}},
    {"Shopping", true, {}},
    {"Small Business", true, {}},
    {"Sports", true, {}},
    {"Technical Publishing", true, {}},
    {"Technology", true, {"Consultants", "Engineering", "Research", "Science", "Services"}},
    {"Transportation",
     true,
     {"Airline", "Automobile", "Boats", "Bus", "Insurance", "Motorcycle", "Services", "Shipping", "Supplies",
      "Trains", "Trucks"}},
    {"Travel",
     true,
     {"Airlines", "Associations", "Car Rentals", "Cruises and Excursions", "Hotels", "Publications",
      "Restaurants", "Travel Agents"}},
};

} // namespace

const std::vector<std::string>& languageItems() {
    static const std::vector<std::string> items{"English",   "Chinese", "Dutch",    "French",
                                                "German",    "Italian", "Japanese", "Norwegian",
                                                "Portugese", "Spanish", "Swedish",  "Other"};
    return items;
}

const std::vector<std::string>& categoryItems() {
    static const std::vector<std::string> items = [] {
        std::vector<std::string> list;
        for (const CategoryGroup& group : Groups) {
            if (group.itself) list.emplace_back(group.main);
            for (const char* sub : group.subs)
                list.push_back(std::string(group.main) + ":" + sub);
        }
        return list;
    }();
    return items;
}
