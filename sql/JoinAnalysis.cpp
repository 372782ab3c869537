// Join analysis: links between the source tables, the bind-time residual condition, the join order and the
// link tree the nested-loop join follows.
#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/values/FieldTypes.h"
#include "engine/values/LocaleSettings.h"
#include "sql/DataQuery.h"
#include "sql/PlanPredicates.h"
#include "sql/SqlError.h"
#include "sql/SqlMessages.h"
#include "sql/TypeChecker.h"

namespace sql {

using engine::TExprNode;
using NodePtr = std::unique_ptr<TExprNode>;

namespace {

bool IsAndOr(const TExprNode& node) noexcept {
    return node.NodeClass == engine::ncBinary &&
           (node.Operator == engine::opAnd || node.Operator == engine::opOr);
}

// Exchanges a comparison's operands and mirrors its operator.
void SwapComparison(TExprNode& node) {
    std::swap(node.Left, node.Right);
    node.Operator = engine::MirrorComparison(node.Operator);
}

// The AND's top-level conjuncts, taken out of the tree in order; the AND nodes themselves are freed.
void Flatten(NodePtr node, std::vector<NodePtr>& conjuncts) {
    if (node->NodeClass == engine::ncBinary && node->Operator == engine::opAnd) {
        Flatten(std::move(node->Left), conjuncts);
        Flatten(std::move(node->Right), conjuncts);
        return;
    }
    node->Parent = nullptr;
    conjuncts.push_back(std::move(node));
}

// The conjuncts ANDed from the left again; null for none.
NodePtr AndAll(std::vector<NodePtr>& conjuncts) {
    NodePtr tree;
    for (NodePtr& conjunct : conjuncts) {
        if (!tree) {
            tree = std::move(conjunct);
            continue;
        }
        tree = MakeAndNode(std::move(tree), std::move(conjunct));
    }
    conjuncts.clear();
    return tree;
}

// Puts a node's operand where the node stood: its Parent becomes the node's parent.
void ReplaceByOperand(NodePtr& slot, NodePtr operand, TExprNode* parent) {
    operand->Parent = parent;
    slot = std::move(operand);
}

}  // namespace

bool TDataQuery::TOuterJoin::OnNullSide(const TSourceDataFile* table) const noexcept {
    return std::find(NullSide.begin(), NullSide.end(), table) != NullSide.end();
}

void TDataQuery::FindOuterJoins() {
    OuterJoins.clear();
    for (const auto& source : Sources) {
        if (source->JoinKind != jkLeftOuter && source->JoinKind != jkRightOuter) continue;
        TOuterJoin join;
        join.Table = source.get();
        join.Position = source->FromPosition;
        if (source->JoinKind == jkLeftOuter) {
            join.NullSide.push_back(source.get());
        } else {
            for (const auto& other : Sources)
                if (other->FromPosition < source->FromPosition) join.NullSide.push_back(other.get());
        }
        OuterJoins.push_back(std::move(join));
    }
    std::sort(OuterJoins.begin(), OuterJoins.end(),
              [](const TOuterJoin& a, const TOuterJoin& b) { return a.Position < b.Position; });
}

bool TDataQuery::SameJoinSide(const TSourceDataFile* a, const TSourceDataFile* b) const noexcept {
    return std::all_of(OuterJoins.begin(), OuterJoins.end(),
                       [a, b](const TOuterJoin& join) { return join.OnNullSide(a) == join.OnNullSide(b); });
}

TSourceDataFile* TDataQuery::NearestSameSide(const TSourceDataFile* table) const noexcept {
    TSourceDataFile* nearest = nullptr;
    for (const auto& source : Sources) {
        if (source.get() == table) break;
        if (SameJoinSide(source.get(), table)) nearest = source.get();
    }
    return nearest;
}

void TDataQuery::SetupDefaultLinks() {
    FindOuterJoins();
    for (std::size_t i = 1; i < Sources.size(); ++i) {
        TSourceDataFile* from = NearestSameSide(Sources[i].get());
        if (from != nullptr) from->AddLink(jkNone, engine::opNone, Sources[i].get(), nullptr);
    }
}

void TDataQuery::CheckCondition(TExprNode& condition, ParamTyping params) {
    // Dates and numbers in statement texts are always written the US way.
    const engine::LocaleFormatSwap us(0, 0);
    const TColumnResolver resolver = [this](TExprNode& node) { return ResolveColumn(node); };
    CheckExprTypes(engine::ErrSql, kWhereContext, condition, resolver, RowAccess::Record, params);
    // A condition whose type rests on parameters alone is known only once they have values.
    const bool open = params == ParamTyping::Deferred && condition.Value.FieldType == engine::FieldTypeNone;
    if (condition.Value.FieldType != engine::FieldTypeBoolean && !open) RaiseSqlError(kWhereNotBoolean);
}

void TDataQuery::CheckWhereCondition() {
    if (WhereCondition) CheckCondition(*WhereCondition);
}

void TDataQuery::CheckResidualCondition() {
    if (BoundResidual) CheckCondition(*BoundResidual);
}

void TDataQuery::CheckLinkCondition(TExprNode& condition) {
    CheckCondition(condition);
}

void TDataQuery::CheckConditions(bool withLinks) {
    CheckWhereCondition();
    CheckResidualCondition();
    if (withLinks)
        for (const auto& source : Sources) source->ApplyLinkFilters();
}

void TDataQuery::AddResidualCondition(NodePtr tree) {
    if (!tree) return;
    HasResidual = true;
    if (!ResidualCondition) {
        tree->Parent = nullptr;
        ResidualCondition = std::move(tree);
        return;
    }
    ResidualCondition = MakeAndNode(std::move(ResidualCondition), std::move(tree));
}

void TDataQuery::AnalyseJoinConditions() {
    // The analysis reads column types and the rewritten tree, so the condition is checked first. No parameter
    // has a value yet: the run checks the condition again, strictly, with the values it was given.
    if (WhereCondition) CheckCondition(*WhereCondition, ParamTyping::Deferred);
    if (OuterJoins.empty()) FindOuterJoins();
    if (!OuterJoins.empty()) AnalyseOuterConditions();
    if (WhereCondition) {
        const JoinFate fate = AnalyseJoinNode(WhereCondition, nullptr);
        if (fate == JoinFate::ToResidual) AddResidualCondition(std::move(WhereCondition));
    }
    if (!WhereCondition) HasWhere = false;
    BoundResidual = std::move(ResidualCondition);
    HasResidual = false;
}

TDataQuery::JoinFate TDataQuery::AnalyseJoinNode(NodePtr& slot, TExprNode* parent) {
    TExprNode& node = *slot;
    node.Parent = parent;
    TSourceDataFile* single = nullptr;
    if (node.NodeClass == engine::ncUnary) {
        if (SingleTableOfExpr(*this, &node, single) && IsDisjunction(&node) && !IsUnderNot(parent))
            return JoinFate::ToResidual;
        const JoinFate fate = AnalyseJoinNode(node.Left, &node);
        // A NOT over what goes to the residual goes with it, so the negation stays.
        if (fate == JoinFate::Linked) slot.reset();
        return fate;
    }
    if (IsAndOr(node)) {
        if (SingleTableOfExpr(*this, &node, single) && IsDisjunction(&node)) return JoinFate::ToResidual;
        JoinFate left = AnalyseJoinNode(node.Left, &node);
        if (left == JoinFate::ToResidual) AddResidualCondition(std::move(node.Left));
        JoinFate right = AnalyseJoinNode(node.Right, &node);
        if (right == JoinFate::ToResidual) AddResidualCondition(std::move(node.Right));
        const bool leftGone = left != JoinFate::Kept;
        const bool rightGone = right != JoinFate::Kept;
        if (leftGone && rightGone) {
            slot.reset();
            return JoinFate::Linked;
        }
        if (leftGone)
            ReplaceByOperand(slot, std::move(node.Right), parent);
        else if (rightGone)
            ReplaceByOperand(slot, std::move(node.Left), parent);
        return JoinFate::Kept;
    }
    if (!IsComparison(&node)) return JoinFate::Kept;
    TSourceDataFile* leftTable = nullptr;
    TSourceDataFile* rightTable = nullptr;
    const bool leftMany = SingleTableOfExpr(*this, node.Left.get(), leftTable);
    const bool rightMany = SingleTableOfExpr(*this, node.Right.get(), rightTable);
    const bool leftNames = leftMany || leftTable != nullptr;
    const bool rightNames = rightMany || rightTable != nullptr;
    if (leftNames && rightNames) {
        if (leftMany || rightMany) RaiseSqlError(kJoinOperandMultipleTables);
        if (leftTable == rightTable) return JoinFate::Kept;
        if (FindSourceTable(leftTable->CorrelationName) != leftTable ||
            FindSourceTable(rightTable->CorrelationName) != rightTable)
            RaiseSqlError(kJoinCorrelationNotFound);
        std::uint8_t kind = node.JoinKind;
        if (kind == jkNone) kind = jkInner;
        if (kind == jkRightOuter) kind = jkLeftOuter;
        TSourceDataFile& l = *leftTable;
        TSourceDataFile& r = *rightTable;
        bool swap = false;
        if (l.IsLinkTarget(&r)) {
            if (l.TableNumber > r.TableNumber) r.TableNumber = l.TableNumber + 1;
        } else if (r.IsLinkTarget(&l)) {
            swap = true;
            if (r.TableNumber > l.TableNumber) l.TableNumber = r.TableNumber + 1;
        } else if (l.TableNumber > r.TableNumber) {
            if (kind == jkLeftOuter || !IsJoinTarget(nullptr, &l))
                swap = true;
            else
                r.TableNumber = l.TableNumber + 1;
        } else if (IsJoinTarget(nullptr, &r) && kind == jkInner && !IsJoinTarget(nullptr, &l)) {
            swap = true;
            l.TableNumber = r.TableNumber + 1;
        }
        if (swap) SwapComparison(node);
        TSourceDataFile& outer = swap ? r : l;
        TSourceDataFile& inner = swap ? l : r;
        const engine::ExprOperator op = node.Operator;
        outer.AddLink(kind, op, &inner, std::move(slot));
        return JoinFate::Linked;
    }
    // expression op column: the column side goes left.
    if (!leftNames && rightNames) SwapComparison(node);
    return JoinFate::Kept;
}

bool TDataQuery::IsJoinTarget(const TSourceDataLink* ignore, const TSourceDataFile* table) const noexcept {
    for (const auto& source : Sources)
        for (const auto& link : source->Links)
            if (link.get() != ignore && link->JoinType != jkNone && link->Target == table) return true;
    return false;
}

void TDataQuery::SortSourceTables() {
    // A stable sort: tables of equal numbers keep their list order, so one statement gets one plan.
    std::stable_sort(Sources.begin(), Sources.end(),
                     [](const auto& a, const auto& b) { return a->TableNumber < b->TableNumber; });
    std::uint16_t number = 1;
    for (const auto& source : Sources) source->TableNumber = number++;
}

void TDataQuery::PruneLinks() {
    for (const auto& source : Sources) {
        auto& links = source->Links;
        for (std::size_t i = links.size(); i-- > 0;) {
            TSourceDataLink& link = *links[i];
            TSourceDataFile* target = link.Target;
            if (!IsJoinTarget(&link, target)) {
                if (link.JoinType == jkNone && target->TableNumber == 1) links.erase(links.begin() + i);
                continue;
            }
            if (link.JoinType == jkNone) links.erase(links.begin() + i);
        }
    }
    MergeJoinTargets();
    BuildLinkTree();
    CheckOuterJoins();
}

// A table that several conditional links reach is joined through one of them, the one from the latest
// table before it in join order: the rows of the earlier ones are current there too, so its filter can
// state every condition at once. That holds for links of one kind from tables before it on one side of every
// outer join; any other set of links is refused.
void TDataQuery::MergeJoinTargets() {
    for (const auto& target : Sources) {
        std::vector<TSourceDataLink*> reaching;
        for (const auto& source : Sources)
            for (const auto& link : source->Links)
                if (link->JoinType != jkNone && link->Target == target.get()) reaching.push_back(link.get());
        if (reaching.size() < 2) continue;
        const TSourceDataLink& first = *reaching.front();
        for (const TSourceDataLink* link : reaching)
            if (link->JoinType != first.JoinType || link->Owner->TableNumber >= target->TableNumber ||
                !SameJoinSide(link->Owner, first.Owner))
                RaiseTargetNotCombinable(*target);
        const std::uint8_t kind = first.JoinType;
        TSourceDataLink* kept = *std::max_element(reaching.begin(), reaching.end(),
                                                  [](const TSourceDataLink* a, const TSourceDataLink* b) {
                                                      return a->Owner->TableNumber < b->Owner->TableNumber;
                                                  });
        for (TSourceDataLink* link : reaching) {
            if (link == kept) continue;
            kept->AddCondition(kind, std::move(link->Condition));
            std::erase_if(link->Owner->Links, [link](const auto& owned) { return owned.get() == link; });
        }
    }
}

void TDataQuery::RaiseTargetNotCombinable(const TSourceDataFile& target) const {
    std::vector<std::string> names;
    for (const auto& source : Sources) {
        const bool links = std::any_of(source->Links.begin(), source->Links.end(),
                                       [&target](const auto& link) { return link->Target == &target; });
        if (links) names.push_back("'" + source->CorrelationName + "'");
    }
    std::string from;
    for (std::size_t i = 0; i < names.size(); ++i)
        from += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    RaiseSqlError(kJoinTargetNotCombinable, {target.CorrelationName, from});
}

// The nested-loop join starts each table once, from the one link that reaches it. Walking the tables in
// join order, a table nothing has reached yet is linked from the nearest earlier table on its side of every
// outer join, and of each table's links only those reaching a new table stay.
void TDataQuery::BuildLinkTree() {
    if (Sources.empty()) return;
    std::set<const TSourceDataFile*> reached{Sources.front().get()};
    for (std::size_t i = 0; i < Sources.size(); ++i) {
        TSourceDataFile& table = *Sources[i];
        if (reached.count(&table) == 0) {
            TSourceDataFile* from = NearestSameSide(&table);
            if (from == nullptr) {
                // Only a table on the null side of an outer join lacks an earlier table on its side; without
                // its join's link nothing can reach it.
                for (const TOuterJoin& join : OuterJoins)
                    if (join.OnNullSide(&table))
                        RaiseSqlError(kOuterJoinNotCombinable, {join.Table->CorrelationName});
                from = Sources[i - 1].get();
            }
            auto link = std::make_unique<TSourceDataLink>(from);
            link->Target = &table;
            from->Links.push_back(std::move(link));
            reached.insert(&table);
        }
        auto& links = table.Links;
        for (std::size_t k = 0; k < links.size();) {
            TSourceDataLink& link = *links[k];
            if (reached.insert(link.Target).second) {
                ++k;
                continue;
            }
            if (link.JoinType == jkLeftOuter) RaiseTargetNotCombinable(*link.Target);
            if (link.Condition) {
                // The table is joined through another link; this one's condition still has to hold.
                std::swap(ResidualCondition, BoundResidual);
                AddResidualCondition(std::move(link.Condition));
                std::swap(ResidualCondition, BoundResidual);
                HasResidual = false;
            }
            links.erase(links.begin() + static_cast<std::ptrdiff_t>(k));
        }
    }
}

// After linking, each outer join is one left outer link into its null side, and that link's target
// reaches exactly its null side: the join then makes the unmatched row of the whole side at once.
void TDataQuery::CheckOuterJoins() const {
    // Each outer join's one entry: the left outer link into its null side from outside it.
    std::vector<const TSourceDataLink*> entries;
    for (const TOuterJoin& join : OuterJoins) {
        const TSourceDataLink* entry = nullptr;
        int crossings = 0;
        for (const auto& source : Sources) {
            if (join.OnNullSide(source.get())) continue;
            for (const auto& link : source->Links) {
                if (!join.OnNullSide(link->Target)) continue;
                ++crossings;
                entry = link.get();
            }
        }
        if (crossings != 1 || entry->JoinType != jkLeftOuter)
            RaiseSqlError(kOuterJoinNotCombinable, {join.Table->CorrelationName});
        entries.push_back(entry);
    }
    // The entry's target reaches its whole null side, and beyond it only the null sides of outer joins
    // entered from inside it (a LEFT JOIN hanging off the null side of another): their rows are NULL too
    // when the outer one has no match, as their ON conditions then meet NULL.
    for (std::size_t j = 0; j < OuterJoins.size(); ++j) {
        const TOuterJoin& join = OuterJoins[j];
        std::vector<const TSourceDataFile*> reach{entries[j]->Target};
        for (std::size_t i = 0; i < reach.size(); ++i)
            for (const auto& link : reach[i]->Links) reach.push_back(link->Target);
        const auto inReach = [&reach](const TSourceDataFile* table) {
            return std::find(reach.begin(), reach.end(), table) != reach.end();
        };
        const auto nested = [&](const TSourceDataFile* table) {
            for (std::size_t k = 0; k < OuterJoins.size(); ++k)
                if (k != j && OuterJoins[k].OnNullSide(table) && inReach(entries[k]->Owner)) return true;
            return false;
        };
        const auto own = static_cast<std::size_t>(std::count_if(
            reach.begin(), reach.end(), [&join](const TSourceDataFile* table) { return join.OnNullSide(table); }));
        const bool sound = own == join.NullSide.size() &&
                           std::all_of(reach.begin(), reach.end(), [&](const TSourceDataFile* table) {
                               return join.OnNullSide(table) || nested(table);
                           });
        if (!sound) RaiseSqlError(kOuterJoinNotCombinable, {join.Table->CorrelationName});
    }
}

// The outer joins' own ON conditions make their links before anything else is analysed, and a condition
// applied after an outer join that names a table of its null side can only hold on the joined row.
void TDataQuery::AnalyseOuterConditions() {
    std::vector<NodePtr> conjuncts;
    if (WhereCondition) Flatten(std::move(WhereCondition), conjuncts);
    std::vector<NodePtr> kept;
    std::vector<std::vector<NodePtr>> preserved(OuterJoins.size());
    std::vector<TSourceDataLink*> joinLinks(OuterJoins.size(), nullptr);
    for (NodePtr& conjunct : conjuncts) {
        std::vector<TSourceDataFile*> tables;
        TablesOfExpr(*this, conjunct.get(), tables);
        const auto own =
            std::find_if(OuterJoins.begin(), OuterJoins.end(), [&conjunct](const TOuterJoin& join) {
                return conjunct->ClausePosition != 0 && join.Position == conjunct->ClausePosition;
            });
        if (own == OuterJoins.end()) {
            const bool afterNullSide =
                std::any_of(OuterJoins.begin(), OuterJoins.end(), [&](const TOuterJoin& join) {
                    const bool after =
                        conjunct->ClausePosition == 0 || conjunct->ClausePosition > join.Position;
                    return after &&
                           std::any_of(tables.begin(), tables.end(),
                                       [&join](const TSourceDataFile* t) { return join.OnNullSide(t); });
                });
            if (afterNullSide)
                AddResidualCondition(std::move(conjunct));
            else
                kept.push_back(std::move(conjunct));
            continue;
        }
        const TOuterJoin& join = *own;
        const std::size_t index = static_cast<std::size_t>(own - OuterJoins.begin());
        TExprNode& node = *conjunct;
        TSourceDataFile* left = nullptr;
        TSourceDataFile* right = nullptr;
        if (IsComparison(&node) && !SingleTableOfExpr(*this, node.Left.get(), left) &&
            !SingleTableOfExpr(*this, node.Right.get(), right) && left != nullptr && right != nullptr &&
            join.OnNullSide(left) != join.OnNullSide(right)) {
            // The preserved side is the outer table.
            if (join.OnNullSide(left)) {
                SwapComparison(node);
                std::swap(left, right);
            }
            if (left->TableNumber > right->TableNumber) right->TableNumber = left->TableNumber + 1;
            const engine::ExprOperator op = node.Operator;
            left->AddLink(jkLeftOuter, op, right, std::move(conjunct));
            for (const auto& link : left->Links)
                if (link->Target == right && link->JoinType == jkLeftOuter) joinLinks[index] = link.get();
            continue;
        }
        const bool namesNullSide = std::any_of(
            tables.begin(), tables.end(), [&join](const TSourceDataFile* t) { return join.OnNullSide(t); });
        if (!namesNullSide) {
            preserved[index].push_back(std::move(conjunct));
            continue;
        }
        const bool ownTableOnly =
            tables.size() == 1 &&
            std::none_of(OuterJoins.begin(), OuterJoins.end(), [&](const TOuterJoin& other) {
                return &other != &join && other.OnNullSide(tables.front());
            });
        if (!ownTableOnly) RaiseSqlError(kOuterJoinOnCondition);
        // It narrows the inner table's candidates, which the link's filter then reads.
        kept.push_back(std::move(conjunct));
    }
    for (std::size_t index = 0; index < OuterJoins.size(); ++index) {
        const TOuterJoin& join = OuterJoins[index];
        if (joinLinks[index] == nullptr) {
            // An ON that compares nothing across still joins: from the nearest earlier table outside the
            // null side, every inner row qualifying.
            TSourceDataFile* target =
                join.Table->JoinKind == jkLeftOuter ? join.Table : join.NullSide.front();
            TSourceDataFile* from = nullptr;
            for (const auto& source : Sources) {
                if (source.get() == target) break;
                if (!join.OnNullSide(source.get())) from = source.get();
            }
            if (from == nullptr) RaiseSqlError(kOuterJoinNotCombinable, {join.Table->CorrelationName});
            from->AddLink(jkLeftOuter, engine::opNone, target, nullptr);
            for (const auto& link : from->Links)
                if (link->Target == target && link->JoinType == jkLeftOuter) joinLinks[index] = link.get();
        }
        // Conditions on the preserved side hold or fail for the outer row as a whole: false leaves the
        // inner side without candidates, and the row comes out unmatched.
        for (NodePtr& conjunct : preserved[index])
            joinLinks[index]->AddCondition(jkLeftOuter, std::move(conjunct));
    }
    WhereCondition = AndAll(kept);
}

}  // namespace sql
